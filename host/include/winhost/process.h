// Process creation and the system directory on the simulated host. A created process is
// recorded and never run: its process and thread handles stand for a program that keeps
// running until the machine is reset.
#pragma once

#include "winhost/base.h"

extern "C++" {

typedef struct _STARTUPINFOA {
  DWORD cb;
  LPSTR lpReserved;
  LPSTR lpDesktop;
  LPSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

// The length of the path without its terminator, or, when the buffer is too small (or null),
// the size needed with the terminator, leaving the buffer untouched.
UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size);
// The same in the ANSI code page; sizes count bytes.
UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size);

// Records the program and its command line. The program is `applicationName`, or the first
// token of `commandLine` when it is null (a bare name is looked for in the system directory).
// A program the machine does not have fails with ERROR_FILE_NOT_FOUND.
BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                           LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation);

}  // extern "C++"
