// LoadLibraryW / LoadLibraryExW / GetProcAddress / FreeLibrary for the system libraries the host
// models: "iphlpapi.dll" (GetNumberOfInterfaces, GetIpAddrTable and the ICMP entry points it
// carries since Windows XP), "icmp.dll" (the ICMP entry points), "winspool.drv" (the host's
// spooler functions) and, always loaded, "user32.dll" (GetDpiForWindow) and "kernel32.dll". The
// IP helper answers from the interface count and address table a test sets; ICMP handles are
// counted in the leak check.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "address_parse.h"
#include "host/files.h"
#include "host/libraries.h"
#include "host/machine.h"
#include "host/network.h"
#include "internal.h"
#include "winhost/kernel.h"
#include "winhost/libraries.h"
#include "winhost/winspool.h"

// The display's DPI for a window (host/src/dpi.cpp), reached by the program only through
// GetProcAddress on "user32.dll".
UINT WINAPI GetDpiForWindow(HWND window);

namespace host {
namespace libraries {
namespace {

struct Library {
  std::wstring name;  // as listed, lower case; a library found as a file: its whole path
  bool present = true;
  std::map<std::string, FARPROC> entryPoints;
  int references = 0;
  bool pinned = false;  // always loaded (kernel32.dll)
  bool system = true;   // one of the system's own libraries
};

struct LibraryState {
  std::mutex lock;
  std::vector<Library> libraries;  // the handle of library i is kFirstModule + i * 0x10000
  DWORD interfaceCount = 0;
  std::vector<DWORD> localAddresses;  // network byte order
  std::set<HANDLE> icmpHandles;
  uintptr_t nextIcmpHandle = 0;
  std::vector<LoadCall> loads;
  DWORD defaultDirectories = 0;  // SetDefaultDllDirectories (0: the standard search order)
  bool dllDirectorySet = false;   // SetDllDirectoryW with a text
  std::wstring dllDirectory;
};

LibraryState& State() {
  static LibraryState* state = new LibraryState;
  return *state;
}

constexpr uintptr_t kFirstModule = 0x7FF800000000;
constexpr uintptr_t kFirstIcmpHandle = 0x5C0;

DWORD WINAPI HostGetNumberOfInterfaces(PDWORD count) {
  if (!count) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(State().lock);
  *count = State().interfaceCount;
  return NO_ERROR;
}

DWORD WINAPI HostGetIpAddrTable(PMIB_IPADDRTABLE table, PULONG size, BOOL order) {
  DWORD fault = 0;
  if (CallFails("GetIpAddrTable", &fault)) return fault;
  if (!size) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(State().lock);
  const auto& rows = State().localAddresses;
  ULONG needed = static_cast<ULONG>(std::max(sizeof(MIB_IPADDRTABLE),
                                             sizeof(DWORD) + rows.size() * sizeof(MIB_IPADDRROW)));
  if (!table || *size < needed) {
    *size = needed;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  // Rows go in the machine's order whether or not sorting is asked for; tests set the order.
  (void)order;
  table->dwNumEntries = static_cast<DWORD>(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    MIB_IPADDRROW row{};
    row.dwAddr = rows[i];
    row.dwIndex = static_cast<DWORD>(i + 1);
    row.dwMask = 0x00FFFFFF;
    row.dwBCastAddr = 1;
    row.dwReasmSize = 0xFFFF;
    std::memcpy(&table->table[i], &row, sizeof row);
  }
  return NO_ERROR;
}

HANDLE NewIcmpHandle() {
  std::lock_guard<std::mutex> guard(State().lock);
  HANDLE handle = reinterpret_cast<HANDLE>(kFirstIcmpHandle + State().nextIcmpHandle);
  State().nextIcmpHandle += 4;
  State().icmpHandles.insert(handle);
  return handle;
}

HANDLE WINAPI HostIcmpCreateFile() {
  HOST_ENTER("IcmpCreateFile", INVALID_HANDLE_VALUE);
  return NewIcmpHandle();
}

HANDLE WINAPI HostIcmp6CreateFile() {
  HOST_ENTER("Icmp6CreateFile", INVALID_HANDLE_VALUE);
  return NewIcmpHandle();
}

BOOL WINAPI HostIcmpCloseHandle(HANDLE handle) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (State().icmpHandles.erase(handle) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

// kernel32's AddDllDirectory: there, as on Windows, with the update that brings the loader's
// search flags; the program only looks it up to tell whether they exist. Calling it is not
// modelled.
void* WINAPI HostAddDllDirectory(const wchar_t*) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

template <typename Function>
FARPROC Entry(Function function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

std::map<std::string, FARPROC> IcmpEntryPoints() {
  return {{"IcmpCreateFile", Entry(HostIcmpCreateFile)},
          {"Icmp6CreateFile", Entry(HostIcmp6CreateFile)},
          {"IcmpCloseHandle", Entry(HostIcmpCloseHandle)}};
}

void Reset() {
  std::lock_guard<std::mutex> guard(State().lock);
  auto iphlpapi = IcmpEntryPoints();
  iphlpapi["GetNumberOfInterfaces"] = Entry(HostGetNumberOfInterfaces);
  iphlpapi["GetIpAddrTable"] = Entry(HostGetIpAddrTable);
  std::map<std::string, FARPROC> kernel32 = {{"SetDefaultDllDirectories", Entry(SetDefaultDllDirectories)},
                                             {"AddDllDirectory", Entry(HostAddDllDirectory)},
                                             {"SetDllDirectoryW", Entry(SetDllDirectoryW)}};
  std::map<std::string, FARPROC> winspool = {
      {"EnumPrintersW", Entry(EnumPrintersW)}, {"OpenPrinterW", Entry(OpenPrinterW)},
      {"GetPrinterW", Entry(GetPrinterW)},     {"ClosePrinter", Entry(ClosePrinter)},
      {"EnumPortsW", Entry(EnumPortsW)},       {"XcvDataW", Entry(XcvDataW)}};
  State().libraries = {Library{L"iphlpapi.dll", true, iphlpapi, 0}, Library{L"icmp.dll", true, IcmpEntryPoints(), 0},
                       Library{L"kernel32.dll", true, kernel32, 0, true},
                       Library{L"winspool.drv", true, winspool, 0},
                       Library{L"user32.dll", true, {{"GetDpiForWindow", Entry(GetDpiForWindow)}}, 0, true}};
  State().loads.clear();
  State().defaultDirectories = 0;
  State().dllDirectorySet = false;
  State().dllDirectory.clear();
  State().interfaceCount = 2;
  State().localAddresses = {0x0100007F, 0x1401A8C0};  // 127.0.0.1, 192.168.1.20
  State().icmpHandles.clear();
  State().nextIcmpHandle = 0;
}

std::vector<std::string> ListOpen() {
  std::lock_guard<std::mutex> guard(State().lock);
  std::vector<std::string> open;
  for (const Library& library : State().libraries) {
    if (library.references > 0)
      open.push_back(Utf8Of(library.name) + " loaded (" + std::to_string(library.references) + " references)");
  }
  for (HANDLE handle : State().icmpHandles) {
    (void)handle;
    open.push_back("ICMP handle");
  }
  return open;
}

const bool g_registered = [] {
  RegisterArea(Area{"libraries", Reset, ListOpen});
  return true;
}();

std::wstring LowerName(std::wstring name) {
  for (wchar_t& c : name) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return name;
}

// The library a handle stands for, or null.
Library* LibraryOf(HMODULE module) {
  uintptr_t value = reinterpret_cast<uintptr_t>(module);
  if (value < kFirstModule || (value - kFirstModule) % 0x10000 != 0) return nullptr;
  size_t index = (value - kFirstModule) / 0x10000;
  if (index >= State().libraries.size()) return nullptr;
  return &State().libraries[index];
}

Library* FindLibrary(const std::wstring& name) {
  for (Library& library : State().libraries) {
    if (library.name == LowerName(name)) return &library;
  }
  return nullptr;
}

HMODULE HandleOf(const Library* library) {
  size_t index = static_cast<size_t>(library - State().libraries.data());
  return reinterpret_cast<HMODULE>(kFirstModule + index * 0x10000);
}

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool FileExists(const std::wstring& path) {
  std::string hostPath = HostPathOf(path);
  std::error_code ec;
  return !hostPath.empty() && std::filesystem::is_regular_file(hostPath, ec);
}

// The folders LoadLibraryW looks in for a bare name, in order; an empty entry stands for the
// system's own libraries. Read before the library lock is taken (files and paths are other areas).
std::vector<std::wstring> SearchOrder(DWORD defaultDirectories, bool dllDirectorySet,
                                      const std::wstring& dllDirectory) {
  wchar_t module[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring application = FolderOf(module);
  std::vector<std::wstring> order;
  if (defaultDirectories) {
    bool all = (defaultDirectories & LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) != 0;
    if ((all || (defaultDirectories & LOAD_LIBRARY_SEARCH_APPLICATION_DIR)) && !application.empty()) {
      order.push_back(application);
    }
    if ((all || (defaultDirectories & LOAD_LIBRARY_SEARCH_USER_DIRS)) && dllDirectorySet && !dllDirectory.empty()) {
      order.push_back(dllDirectory);
    }
    if (all || (defaultDirectories & LOAD_LIBRARY_SEARCH_SYSTEM32)) order.push_back(L"");
    return order;
  }
  if (!application.empty()) order.push_back(application);
  if (dllDirectorySet && !dllDirectory.empty()) order.push_back(dllDirectory);
  order.push_back(L"");
  wchar_t current[MAX_PATH] = L"";
  if (!dllDirectorySet && GetCurrentDirectoryW(MAX_PATH, current) > 0) order.push_back(current);
  return order;
}

}  // namespace

void SetPresent(const std::wstring& name, bool present) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (Library* library = FindLibrary(name)) library->present = present;
}

void RemoveEntryPoint(const std::wstring& library, const std::string& entryPoint) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (Library* found = FindLibrary(library)) found->entryPoints.erase(entryPoint);
}

void RemoveSearchFlags() {
  std::lock_guard<std::mutex> guard(State().lock);
  if (Library* kernel32 = FindLibrary(L"kernel32.dll")) {
    kernel32->entryPoints.erase("SetDefaultDllDirectories");
    kernel32->entryPoints.erase("AddDllDirectory");
  }
}

std::vector<LoadCall> Loads() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().loads;
}

int References(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  Library* library = FindLibrary(name);
  return library ? library->references : 0;
}

DWORD DefaultDllDirectories() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().defaultDirectories;
}

bool DllDirectory(std::wstring* directory) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (directory) *directory = State().dllDirectory;
  return State().dllDirectorySet;
}

}  // namespace libraries

// The IP helper's and ICMP's state lives with the libraries that serve it.
namespace network {

using libraries::State;

void SetInterfaceCount(DWORD count) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().interfaceCount = count;
}

void SetLocalAddresses(const std::vector<std::string>& addresses) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().localAddresses.clear();
  for (const std::string& text : addresses) {
    uint8_t bytes[4];
    if (!net::ParseDottedIPv4(text, bytes)) continue;
    DWORD address;
    std::memcpy(&address, bytes, 4);
    State().localAddresses.push_back(address);
  }
}

int OpenIcmpHandles() {
  std::lock_guard<std::mutex> guard(State().lock);
  return static_cast<int>(State().icmpHandles.size());
}

}  // namespace network
}  // namespace host

using host::libraries::State;

namespace host {
namespace libraries {
namespace {

constexpr DWORD kSearchFlags = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                               LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                               LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;

// LoadLibraryW and LoadLibraryExW: `searchFlags` are the LOAD_LIBRARY_SEARCH_* bits of the call,
// 0 for the process's default search (SetDefaultDllDirectories, else the standard order).
HMODULE Load(LPCWSTR fileName, DWORD searchFlags) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::wstring name = fileName;
  // A path is looked up by its last segment: the system libraries live in the system folder.
  size_t slash = name.find_last_of(L"\\/");
  bool bare = slash == std::wstring::npos;
  if (!bare) name = name.substr(slash + 1);
  if (name.find(L'.') == std::wstring::npos) name += L".dll";
  std::vector<std::wstring> order{L""};
  if (bare) {
    DWORD defaults;
    bool directorySet;
    std::wstring directory;
    {
      std::lock_guard<std::mutex> guard(State().lock);
      defaults = searchFlags ? searchFlags : State().defaultDirectories;
      directorySet = State().dllDirectorySet;
      directory = State().dllDirectory;
    }
    order = SearchOrder(defaults, directorySet, directory);
  }
  // A file of that name in a folder searched before the system's libraries is what loads (an
  // unknown library: it has no entry points the host knows).
  bool systemHas;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    Library* system = FindLibrary(name);
    systemHas = system && system->present && system->system;
  }
  std::wstring found;
  bool searchesSystem = false;
  for (const std::wstring& folder : order) {
    if (folder.empty()) {
      searchesSystem = true;
      if (systemHas) break;
    } else if (FileExists(folder + L"\\" + name)) {
      found = folder + L"\\" + name;
      break;
    }
  }
  std::lock_guard<std::mutex> guard(State().lock);
  Library* library = nullptr;
  if (!found.empty()) {
    library = FindLibrary(found);
    if (!library) {
      State().libraries.push_back(Library{LowerName(found), true, {}, 0, false, false});
      library = &State().libraries.back();
    }
  } else if (searchesSystem) {
    library = FindLibrary(name);
  }
  if (!library || !library->present) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++library->references;
  return HandleOf(library);
}

}  // namespace
}  // namespace libraries
}  // namespace host

namespace {

void RecordLoad(const char* api, LPCWSTR fileName, DWORD flags) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().loads.push_back(host::libraries::LoadCall{api, fileName ? fileName : L"", flags});
}

}  // namespace

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
  HOST_ENTER("LoadLibraryW", nullptr);
  RecordLoad("LoadLibraryW", fileName, 0);
  return host::libraries::Load(fileName, 0);
}

HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
  HOST_ENTER("LoadLibraryExW", nullptr);
  RecordLoad("LoadLibraryExW", fileName, flags);
  (void)file;  // reserved
  // The altered search path does not combine with the search flags. The search flags come with
  // the update that brings SetDefaultDllDirectories and AddDllDirectory (KB2533623 on Windows 7):
  // a system without it does not know them. Loading as a data file or image resource is not
  // modelled.
  DWORD searchFlags = flags & host::libraries::kSearchFlags;
  bool knowsSearchFlags;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    host::libraries::Library* kernel32 = host::libraries::FindLibrary(L"kernel32.dll");
    knowsSearchFlags = kernel32 && kernel32->entryPoints.count("AddDllDirectory");
  }
  if ((flags & ~(host::libraries::kSearchFlags | LOAD_WITH_ALTERED_SEARCH_PATH)) ||
      ((flags & LOAD_WITH_ALTERED_SEARCH_PATH) && searchFlags) || (searchFlags && !knowsSearchFlags)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return host::libraries::Load(fileName, searchFlags);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
  HOST_ENTER("GetModuleHandleW", nullptr);
  if (!moduleName) return host::resources::ProgramModule();
  std::wstring name = moduleName;
  if (name.find(L'.') == std::wstring::npos) name += L".dll";
  std::lock_guard<std::mutex> guard(State().lock);
  host::libraries::Library* library = host::libraries::FindLibrary(name);
  if (!library || !library->present || (library->references == 0 && !library->pinned)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return host::libraries::HandleOf(library);
}

BOOL WINAPI SetDefaultDllDirectories(DWORD directoryFlags) {
  HOST_ENTER("SetDefaultDllDirectories", FALSE);
  constexpr DWORD known = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                          LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  if (directoryFlags == 0 || (directoryFlags & ~known)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(State().lock);
  State().defaultDirectories = directoryFlags;
  return TRUE;
}

BOOL WINAPI SetDllDirectoryW(LPCWSTR pathName) {
  HOST_ENTER("SetDllDirectoryW", FALSE);
  std::lock_guard<std::mutex> guard(State().lock);
  State().dllDirectorySet = pathName != nullptr;
  State().dllDirectory = pathName ? pathName : L"";
  return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  HOST_ENTER("GetProcAddress", nullptr);
  std::lock_guard<std::mutex> guard(State().lock);
  host::libraries::Library* library = host::libraries::LibraryOf(module);
  if (!library || (library->references == 0 && !library->pinned)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // Look-ups by ordinal (a value below 0x10000 in place of the name) are not modelled.
  if (!procName || reinterpret_cast<uintptr_t>(procName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  auto it = library->entryPoints.find(procName);
  if (it == library->entryPoints.end()) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return it->second;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  HOST_ENTER("FreeLibrary", FALSE);
  std::lock_guard<std::mutex> guard(State().lock);
  host::libraries::Library* library = host::libraries::LibraryOf(module);
  if (!library || library->references == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  --library->references;
  return TRUE;
}
