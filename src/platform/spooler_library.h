// The print spooler's functions, reached in WINSPOOL.DRV loaded at run time from the system
// directory only. WINSPOOL.DRV is not one of Windows' known DLLs: were the program to import it,
// the loader would look for it beside the program first, before start-up can restrict anything.
#pragma once

#include "platform/win32.h"

namespace spooler {

// Each call holds a reference on the library for its own duration, and a printer handle holds one
// from OpenPrinterW to ClosePrinter, so the library stays loaded exactly while it is in use. When
// the library or the entry point cannot be found, the call logs one line naming it, sets the
// loader's error (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND) and fails as the function itself
// fails (FALSE), so every caller's own failure path applies.
BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printerEnum, DWORD bufferSize,
                   LPDWORD bytesNeeded, LPDWORD returned);
BOOL OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD bufferSize, LPDWORD bytesNeeded);
BOOL ClosePrinter(HANDLE printer);
BOOL EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD bufferSize, LPDWORD bytesNeeded,
                LPDWORD returned);
BOOL XcvDataW(HANDLE xcv, PCWSTR dataName, PBYTE inputData, DWORD inputSize, PBYTE outputData,
              DWORD outputSize, PDWORD outputNeeded, PDWORD status);

}  // namespace spooler
