// Dynamic libraries of the simulated host: LoadLibraryW, LoadLibraryExW, GetProcAddress and
// FreeLibrary for the system libraries the host models ("iphlpapi.dll", "icmp.dll" and
// "winspool.drv", see host/network.h), and the
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

// The program's own module (null name) or a loaded library, without taking a reference.
// "kernel32.dll" and "user32.dll" are always loaded; GetProcAddress knows kernel32's
// "SetDefaultDllDirectories" and user32's "GetDpiForWindow".
HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);

// Where LoadLibraryW looks for a bare name. By default: the program's folder first, then the
// system's libraries, then the DLL directory (SetDllDirectoryW) or else the current folder. After
// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) only the system's libraries are found.
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#define LOAD_LIBRARY_SEARCH_USER_DIRS 0x00000400
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
BOOL WINAPI SetDefaultDllDirectories(DWORD directoryFlags);

// As LoadLibraryW, with the search given by the call: with LOAD_LIBRARY_SEARCH_* flags a bare name
// is looked for only where they say (LOAD_LIBRARY_SEARCH_SYSTEM32: the system's libraries alone,
// never the program's folder), without them as LoadLibraryW looks. LOAD_WITH_ALTERED_SEARCH_PATH
// together with search flags fails with ERROR_INVALID_PARAMETER, as do the search flags on a
// system without the update that brings them (kernel32 without "AddDllDirectory") and
// the flags not modelled (data files, image resources). The file handle is reserved.
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);
BOOL WINAPI SetDllDirectoryW(LPCWSTR pathName);

// Resources of the program's module (see host/resources.h for where they come from).
typedef struct HRSRC__* HRSRC;
HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
LPVOID WINAPI LockResource(HGLOBAL resourceData);
DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);

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
