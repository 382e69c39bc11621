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

typedef struct _STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
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
} STARTUPINFOW, *LPSTARTUPINFOW;

#define STARTF_USESTDHANDLES 0x00000100

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

// The host cannot run a program whose output or end its caller waits for, as the programs' own
// children are: after the checks of its arguments (ERROR_INVALID_PARAMETER) it fails with
// ERROR_NOT_SUPPORTED and records nothing.
BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                           LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                           LPPROCESS_INFORMATION processInformation);
// STILL_ACTIVE for a process that CreateProcessA started (none ends here) and for the current one.
BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);

}  // extern "C++"
