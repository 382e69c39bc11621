// LoadLibraryW / GetProcAddress / FreeLibrary for the system libraries the host models:
// "iphlpapi.dll" (GetNumberOfInterfaces, GetIpAddrTable and the ICMP entry points it carries
// since Windows XP) and "icmp.dll" (the ICMP entry points). The IP helper answers from the
// interface count and address table a test sets; ICMP handles are counted in the leak check.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "address_parse.h"
#include "host/machine.h"
#include "host/network.h"
#include "internal.h"
#include "winhost/kernel.h"
#include "winhost/libraries.h"

namespace host {
namespace network {
namespace {

struct Library {
  std::wstring name;  // as listed, lower case
  bool present = true;
  std::map<std::string, FARPROC> entryPoints;
  int references = 0;
};

struct LibraryState {
  std::mutex lock;
  std::vector<Library> libraries;  // the handle of library i is kFirstModule + i * 0x10000
  DWORD interfaceCount = 0;
  std::vector<DWORD> localAddresses;  // network byte order
  std::set<HANDLE> icmpHandles;
  uintptr_t nextIcmpHandle = 0;
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
  State().libraries = {Library{L"iphlpapi.dll", true, iphlpapi, 0}, Library{L"icmp.dll", true, IcmpEntryPoints(), 0}};
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

}  // namespace

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

void SetLibraryPresent(const std::wstring& name, bool present) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (Library* library = FindLibrary(name)) library->present = present;
}

void RemoveEntryPoint(const std::wstring& library, const std::string& entryPoint) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (Library* found = FindLibrary(library)) found->entryPoints.erase(entryPoint);
}

int LibraryReferences(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  Library* library = FindLibrary(name);
  return library ? library->references : 0;
}

int OpenIcmpHandles() {
  std::lock_guard<std::mutex> guard(State().lock);
  return static_cast<int>(State().icmpHandles.size());
}

}  // namespace network
}  // namespace host

using host::network::State;

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
  HOST_ENTER("LoadLibraryW", nullptr);
  if (!fileName || !*fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::wstring name = fileName;
  // A path is looked up by its last segment: the system libraries live in the system folder.
  size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name = name.substr(slash + 1);
  if (name.find(L'.') == std::wstring::npos) name += L".dll";
  std::lock_guard<std::mutex> guard(State().lock);
  host::network::Library* library = host::network::FindLibrary(name);
  if (!library || !library->present) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++library->references;
  size_t index = static_cast<size_t>(library - State().libraries.data());
  return reinterpret_cast<HMODULE>(host::network::kFirstModule + index * 0x10000);
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  HOST_ENTER("GetProcAddress", nullptr);
  std::lock_guard<std::mutex> guard(State().lock);
  host::network::Library* library = host::network::LibraryOf(module);
  if (!library || library->references == 0) {
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
  host::network::Library* library = host::network::LibraryOf(module);
  if (!library || library->references == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  --library->references;
  return TRUE;
}
