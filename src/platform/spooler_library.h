// The print spooler's functions, reached in WINSPOOL.DRV loaded at run time from the system
// directory only. WINSPOOL.DRV is not one of Windows' known DLLs: were the program to import it,
// the loader would look for it beside the program first, before start-up can restrict anything.
#pragma once

#include "platform/win32.h"

namespace spooler {

// The library is loaded on the first call and kept for the rest of the process: it is never
// unloaded, since unloading a system library that may have left work of its own queued is a
// known source of crashes. When the library or the entry point cannot be found, the call logs
// one line naming it, sets the loader's error (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND) and
// fails as the function itself fails (FALSE), so every caller's own failure path applies; a
// library that could not be loaded is tried again by the next call.
BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printerEnum, DWORD bufferSize,
                   LPDWORD bytesNeeded, LPDWORD returned);
BOOL OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD bufferSize, LPDWORD bytesNeeded);
BOOL ClosePrinter(HANDLE printer);
BOOL EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD bufferSize, LPDWORD bytesNeeded,
                LPDWORD returned);
BOOL XcvDataW(HANDLE xcv, PCWSTR dataName, PBYTE inputData, DWORD inputSize, PBYTE outputData,
              DWORD outputSize, PDWORD outputNeeded, PDWORD status);

// Gives back the process's reference and forgets the library, as the end of the process would.
// The program never calls it; the simulated host's tests do, since each starts with the
// program's state as it was at start.
void ReleaseLibraryAtExit();

}  // namespace spooler
