// Dynamic libraries of the simulated host: LoadLibraryW, GetProcAddress and FreeLibrary for the
// system libraries the host models ("iphlpapi.dll" and "icmp.dll", see host/network.h), and the
// IP helper and ICMP types their entry points use.
#pragma once

#include "winhost/base.h"

extern "C++" {

// A bare name gets ".dll" when it has no extension; names match without regard to case. Each
// successful load counts a reference that FreeLibrary releases. A library the machine lacks
// fails with ERROR_MOD_NOT_FOUND, an entry point it lacks with ERROR_PROC_NOT_FOUND.
HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
BOOL WINAPI FreeLibrary(HMODULE module);

// IP helper: the IPv4 address table (iprtrmib.h).
#define ANY_SIZE 1
typedef struct _MIB_IPADDRROW {
  DWORD dwAddr;
  DWORD dwIndex;
  DWORD dwMask;
  DWORD dwBCastAddr;
  DWORD dwReasmSize;
  unsigned short unused1;
  unsigned short wType;
} MIB_IPADDRROW, *PMIB_IPADDRROW;

typedef struct _MIB_IPADDRTABLE {
  DWORD dwNumEntries;
  MIB_IPADDRROW table[ANY_SIZE];
} MIB_IPADDRTABLE, *PMIB_IPADDRTABLE;

typedef ULONG* PULONG;

}  // extern "C++"
