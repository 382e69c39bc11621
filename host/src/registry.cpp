// The registry of the simulated machine, read side: a tree of keys below HKEY_LOCAL_MACHINE
// with typed values, key handles and their accounting.
#include "host/registry.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "handle_table.h"
#include "host/machine.h"
#include "internal.h"
#include "registry_internal.h"
#include "winhost/kernel.h"
#include "winhost/registry.h"

namespace host {
namespace {

struct Value {
  std::wstring name;
  DWORD type = REG_NONE;
  std::string bytes;
};

struct Key {
  std::map<std::wstring, Value> values;  // by upper-case name
};

struct RegistryState {
  std::mutex lock;
  std::map<std::wstring, Key> keys;          // by upper-case path, "" is the root
  HandleTable<std::wstring> handles{"key", 0x7A000, 4};  // open key -> upper-case path
};

RegistryState& State() {
  static RegistryState* state = new RegistryState;
  return *state;
}

// Upper-case path without empty components: "a\\b\" -> "A\B".
std::wstring NormalPath(const std::wstring& path) {
  std::wstring result;
  std::wstring part;
  auto flush = [&] {
    if (part.empty()) return;
    if (!result.empty()) result += L'\\';
    result += UpperName(part);
    part.clear();
  };
  for (wchar_t c : path) {
    if (c == L'\\') {
      flush();
    } else {
      part += c;
    }
  }
  flush();
  return result;
}

std::wstring Join(const std::wstring& base, const std::wstring& sub) {
  if (base.empty()) return sub;
  if (sub.empty()) return base;
  return base + L'\\' + sub;
}

void CreateLocked(const std::wstring& normal) {
  State().keys[L""];
  size_t at = 0;
  while (true) {
    size_t slash = normal.find(L'\\', at);
    State().keys[normal.substr(0, slash)];
    if (slash == std::wstring::npos) break;
    at = slash + 1;
  }
}

HKEY NewKeyLocked(const std::wstring& normal) {
  return reinterpret_cast<HKEY>(State().handles.Add(normal));
}

bool IsPredefined(HKEY key) {
  auto value = reinterpret_cast<uintptr_t>(key);
  return value >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) &&
         value <= reinterpret_cast<uintptr_t>(HKEY_USERS);
}

// Path of an open or predefined key. Only HKEY_LOCAL_MACHINE holds keys; the other roots are
// modelled as empty trees (their paths start with a character no key name has).
bool PathOfLocked(HKEY key, std::wstring* path) {
  if (key == HKEY_LOCAL_MACHINE) {
    path->clear();
    return true;
  }
  if (IsPredefined(key)) {
    *path = L"|other root|";
    return true;
  }
  const std::wstring* open = State().handles.Find(key);
  if (!open) return false;
  *path = *open;
  return true;
}

std::vector<std::string> ListOpenKeys() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().handles.List([](const std::wstring& path) { return "HKLM\\" + Utf8Of(path); });
}

void ResetRegistry() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().keys.clear();
  State().keys[L""];
  State().handles.Clear(false);
}

const bool g_registered = [] {
  RegisterArea(Area{"registry", ResetRegistry, ListOpenKeys});
  return true;
}();

}  // namespace

HKEY OpenMachineKey(const std::wstring& path, LSTATUS* status) {
  std::lock_guard<std::mutex> guard(State().lock);
  std::wstring normal = NormalPath(path);
  if (!State().keys.count(normal)) {
    *status = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  *status = ERROR_SUCCESS;
  return NewKeyLocked(normal);
}

namespace registry {

void CreateKey(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(State().lock);
  CreateLocked(NormalPath(path));
}

void SetValue(const std::wstring& path, const std::wstring& name, DWORD type, const std::string& bytes) {
  std::lock_guard<std::mutex> guard(State().lock);
  std::wstring normal = NormalPath(path);
  CreateLocked(normal);
  State().keys[normal].values[UpperName(name)] = Value{name, type, bytes};
}

void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text) {
  std::string bytes(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(WCHAR));
  SetValue(path, name, REG_SZ, bytes);
}

void SetDword(const std::wstring& path, const std::wstring& name, DWORD value) {
  SetValue(path, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

void DeleteValue(const std::wstring& path, const std::wstring& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  auto key = State().keys.find(NormalPath(path));
  if (key != State().keys.end()) key->second.values.erase(UpperName(name));
}

}  // namespace registry
}  // namespace host

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
  HOST_ENTER("RegOpenKeyExW", static_cast<LSTATUS>(GetLastError()));
  if (!result) return ERROR_INVALID_PARAMETER;
  // A failed open leaves a null key behind, as Windows does.
  *result = nullptr;
  std::lock_guard<std::mutex> guard(host::State().lock);
  std::wstring base;
  if (!host::PathOfLocked(key, &base)) return ERROR_INVALID_HANDLE;
  std::wstring path = host::Join(base, host::NormalPath(subKey ? subKey : L""));
  if (!host::State().keys.count(path)) return ERROR_FILE_NOT_FOUND;
  *result = host::NewKeyLocked(path);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
  HOST_ENTER("RegQueryValueExW", static_cast<LSTATUS>(GetLastError()));
  // The size may only be left out when no data is asked for.
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(host::State().lock);
  std::wstring path;
  if (!host::PathOfLocked(key, &path)) return ERROR_INVALID_HANDLE;
  auto found = host::State().keys.find(path);
  if (found == host::State().keys.end()) return ERROR_FILE_NOT_FOUND;
  auto value = found->second.values.find(host::UpperName(valueName ? valueName : L""));
  if (value == found->second.values.end()) {
    // Asked for the size alone, Windows reports 0 for a missing value; with a buffer, the size
    // is left alone.
    if (dataSize && !data) *dataSize = 0;
    return ERROR_FILE_NOT_FOUND;
  }
  const std::string& bytes = value->second.bytes;
  if (type) *type = value->second.type;
  if (!dataSize) return ERROR_SUCCESS;
  DWORD room = *dataSize;
  *dataSize = static_cast<DWORD>(bytes.size());
  if (!data) return ERROR_SUCCESS;
  // A value that does not fit leaves the caller's buffer untouched.
  if (room < bytes.size()) return ERROR_MORE_DATA;
  std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  HOST_ENTER("RegCloseKey", static_cast<LSTATUS>(GetLastError()));
  if (host::IsPredefined(key)) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> guard(host::State().lock);
  if (!host::State().handles.Remove(key)) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}
