// Operating-system version tests of the simulated host (VerifyVersionInfoW and its condition
// mask). The version the machine reports is set through host/network.h.
#pragma once

#include "winhost/base.h"

extern "C++" {

typedef struct _OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;

#define VER_MINORVERSION 0x0000001
#define VER_MAJORVERSION 0x0000002
#define VER_SERVICEPACKMINOR 0x0000010
#define VER_SERVICEPACKMAJOR 0x0000020

#define VER_EQUAL 1
#define VER_GREATER 2
#define VER_GREATER_EQUAL 3
#define VER_LESS 4
#define VER_LESS_EQUAL 5

#define ERROR_OLD_WIN_VERSION 1150L

// Records `condition` (3 bits) for every field of `typeMask` in the mask.
ULONGLONG WINAPI VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition);
// Compares the machine's version with `info` on the fields of `typeMask`. The major version,
// minor version and service pack numbers are compared in that order, each next one only while
// the ones before are equal. FALSE with ERROR_OLD_WIN_VERSION when the test is not met, with
// ERROR_INVALID_PARAMETER for an empty type mask or a field without a condition.
BOOL WINAPI VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask, ULONGLONG conditionMask);

}  // extern "C++"
