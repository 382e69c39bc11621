// The console of the simulated host (control handlers, the standard input's console mode) and
// the process token's elevation.
#pragma once

#include "winhost/base.h"

extern "C++" {

// Console control events. A handler returns TRUE when it handled the event; when none does, the
// default handler ends the process (see host/console.h).
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD ctrlType);
// Adds a handler (called before those added earlier) or removes one; a null handler with
// add TRUE makes the process ignore Ctrl+C, with FALSE restores it. Removing a handler that
// was not added fails with ERROR_INVALID_PARAMETER.
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)
HANDLE WINAPI GetStdHandle(DWORD stdHandle);
// Succeeds only for a standard handle that is a console (host/console.h); otherwise fails with
// ERROR_INVALID_HANDLE, as for a redirected handle.
BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode);

// Access tokens: the process token's elevation (TokenElevation) only.
typedef HANDLE* PHANDLE;
#define TOKEN_QUERY 0x0008
typedef enum _TOKEN_INFORMATION_CLASS {
  TokenUser = 1,
  TokenElevationType = 18,
  TokenElevation = 20,
} TOKEN_INFORMATION_CLASS;
typedef struct _TOKEN_ELEVATION {
  DWORD TokenIsElevated;
} TOKEN_ELEVATION, *PTOKEN_ELEVATION;
// The token of the current process (GetCurrentProcess()); the handle counts in the leak check.
BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);
// TokenElevation: 4 bytes; a smaller buffer fails with ERROR_INSUFFICIENT_BUFFER and the needed
// size in `returnLength`. Other classes fail with ERROR_INVALID_PARAMETER.
BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length,
                                PDWORD returnLength);
}
