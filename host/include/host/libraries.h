// Test-facing control of the simulated machine's DLL loader: the libraries it has ("iphlpapi.dll",
// "icmp.dll" and "winspool.drv" with their entry points; "kernel32.dll" and "user32.dll"), their
// references and the loader's search settings. A fresh machine has every library with all its entry points.
#pragma once

#include <string>
#include <vector>

#include "winhost/base.h"

namespace host {
namespace libraries {

// Libraries the machine has: `present` false makes LoadLibraryW and LoadLibraryExW fail with
// ERROR_MOD_NOT_FOUND.
void SetPresent(const std::wstring& name, bool present);
// Takes an entry point out of a library (GetProcAddress then fails with ERROR_PROC_NOT_FOUND).
void RemoveEntryPoint(const std::wstring& library, const std::string& entryPoint);
// A system without the update that brings the loader's search flags (Windows 7 without
// KB2533623): kernel32 lacks SetDefaultDllDirectories and AddDllDirectory, and LoadLibraryExW
// refuses the LOAD_LIBRARY_SEARCH_* flags with ERROR_INVALID_PARAMETER.
void RemoveSearchFlags();
// Every LoadLibraryW and LoadLibraryExW call since the reset: the call's name, the file name
// as passed and the flags (0 for LoadLibraryW).
struct LoadCall {
  std::string api;
  std::wstring fileName;
  DWORD flags;
};
std::vector<LoadCall> Loads();
// References held on a library right now (LoadLibraryW minus FreeLibrary).
int References(const std::wstring& name);
// The loader's search settings: the flags of the last SetDefaultDllDirectories (0: never called),
// and the folder of the last SetDllDirectoryW (false when it was never called or called with
// null; an empty text when it was called with ""). A bare name given to LoadLibraryW is looked
// for, by default, in the program's folder, the DLL directory, the system's libraries, and the
// current folder (left out once SetDllDirectoryW was called); after SetDefaultDllDirectories
// only in the folders its flags name, and LoadLibraryExW's LOAD_LIBRARY_SEARCH_* flags replace
// those defaults for its call. A file found before the system's libraries loads as an unknown
// library without entry points ("kernel32.dll" and "user32.dll" are always loaded).
DWORD DefaultDllDirectories();
bool DllDirectory(std::wstring* directory);

}  // namespace libraries
}  // namespace host
