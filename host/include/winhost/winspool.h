// The print spooler of the simulated host: installed printers, their level-2 information,
// printer handles, ports and the port monitors' data channel.
#pragma once

#include "winhost/base.h"

typedef struct _devicemodeW DEVMODEW, *PDEVMODEW, *LPDEVMODEW;  // never filled in by the host
typedef PVOID PSECURITY_DESCRIPTOR;
typedef DWORD ACCESS_MASK;

#ifndef ERROR_INVALID_LEVEL
#define ERROR_INVALID_LEVEL 124L
#endif
#ifndef RPC_X_NULL_REF_POINTER
#define RPC_X_NULL_REF_POINTER 1780L
#endif
#ifndef ERROR_INVALID_USER_BUFFER
#define ERROR_INVALID_USER_BUFFER 1784L
#endif

#define PRINTER_ENUM_LOCAL 0x00000002
#define PRINTER_ENUM_CONNECTIONS 0x00000004

#define PORT_TYPE_WRITE 0x0001
#define PORT_TYPE_READ 0x0002

#define SERVER_ACCESS_ADMINISTER 0x00000001

typedef struct _PRINTER_DEFAULTSW {
  LPWSTR pDatatype;
  LPDEVMODEW pDevMode;
  ACCESS_MASK DesiredAccess;
} PRINTER_DEFAULTSW, *PPRINTER_DEFAULTSW, *LPPRINTER_DEFAULTSW;

typedef struct _PRINTER_INFO_2W {
  LPWSTR pServerName;
  LPWSTR pPrinterName;
  LPWSTR pShareName;
  LPWSTR pPortName;
  LPWSTR pDriverName;
  LPWSTR pComment;
  LPWSTR pLocation;
  LPDEVMODEW pDevMode;
  LPWSTR pSepFile;
  LPWSTR pPrintProcessor;
  LPWSTR pDatatype;
  LPWSTR pParameters;
  PSECURITY_DESCRIPTOR pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
} PRINTER_INFO_2W, *PPRINTER_INFO_2W, *LPPRINTER_INFO_2W;

// Level 2 only; other levels fail with ERROR_INVALID_LEVEL.
BOOL WINAPI EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printerEnum, DWORD bufferSize,
                          LPDWORD bytesNeeded, LPDWORD returned);
// A null name opens the local print server (a handle that GetPrinterW refuses).
BOOL WINAPI OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
BOOL WINAPI GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD bufferSize, LPDWORD bytesNeeded);
BOOL WINAPI ClosePrinter(HANDLE printer);

typedef struct _PORT_INFO_2W {
  LPWSTR pPortName;
  LPWSTR pMonitorName;
  LPWSTR pDescription;
  DWORD fPortType;
  DWORD Reserved;
} PORT_INFO_2W, *PPORT_INFO_2W, *LPPORT_INFO_2W;

// The ports of the local computer at level 2 (level 1 is not modelled: ERROR_INVALID_LEVEL).
BOOL WINAPI EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD bufferSize, LPDWORD bytesNeeded,
                       LPDWORD returned);
// The data channel of a port monitor, on a handle from OpenPrinterW(",XcvPort <port>"). TRUE
// means the request reached the monitor; its own result is in *status.
BOOL WINAPI XcvDataW(HANDLE xcv, PCWSTR dataName, PBYTE inputData, DWORD inputSize, PBYTE outputData,
                     DWORD outputSize, PDWORD outputNeeded, PDWORD status);
