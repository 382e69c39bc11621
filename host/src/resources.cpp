// The program module's resources from a .res file, FindResourceW and friends, and the icons and
// cursors of LoadIconW / LoadCursorW.
#include "host/resources.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "host/machine.h"
#include "internal.h"
#include "windows_internal.h"
#include "winhost/kernel.h"
#include "winhost/libraries.h"
#include "winhost/user32.h"

namespace host {
namespace resources {
namespace {

// The program's image base, as a 64-bit Windows linker places an executable.
const HMODULE kProgramModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x140000000));
constexpr uintptr_t kProgramIconBase = 0x50000;

// A type or name: an ordinal, or an upper-case text (Windows compares names without case).
struct Id {
  WORD ordinal = 0;
  std::wstring name;
  bool operator==(const Id& other) const { return ordinal == other.ordinal && name == other.name; }
};

struct Resource {
  Id type;
  Id name;
  WORD language = 0;
  std::vector<uint8_t> data;
};

struct ResourceState {
  std::mutex lock;
  std::vector<std::unique_ptr<Resource>> resources;
  std::vector<const Resource*> icons;  // loaded icons; handle = kProgramIconBase + 4 * index
};

ResourceState& State() {
  static ResourceState* state = new ResourceState;
  return *state;
}

class ResReader {
 public:
  ResReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Dword(size_t at, DWORD* value) const {
    if (at > size_ || size_ - at < 4) return false;
    *value = data_[at] | (data_[at + 1] << 8) | (data_[at + 2] << 16) | (static_cast<DWORD>(data_[at + 3]) << 24);
    return true;
  }
  bool Word(size_t at, WORD* value) const {
    if (at > size_ || size_ - at < 2) return false;
    *value = static_cast<WORD>(data_[at] | (data_[at + 1] << 8));
    return true;
  }
  // A type or name field at `*at`; moves past it.
  bool Field(size_t* at, Id* id) const {
    WORD first;
    if (!Word(*at, &first)) return false;
    if (first == 0xFFFF) {
      if (!Word(*at + 2, &id->ordinal)) return false;
      *at += 4;
      return true;
    }
    for (;;) {
      WORD unit;
      if (!Word(*at, &unit)) return false;
      *at += 2;
      if (unit == 0) return true;
      id->name.push_back(static_cast<wchar_t>(unit));
    }
  }
  size_t size() const { return size_; }
  const uint8_t* data() const { return data_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

bool Parse(const uint8_t* data, size_t size, std::vector<std::unique_ptr<Resource>>* out) {
  ResReader r(data, size);
  size_t at = 0;
  while (at < size) {
    DWORD dataSize, headerSize;
    if (!r.Dword(at, &dataSize) || !r.Dword(at + 4, &headerSize)) return false;
    if (headerSize < 24 || headerSize > size - at || dataSize > size - at - headerSize) return false;
    auto resource = std::make_unique<Resource>();
    size_t field = at + 8;
    if (!r.Field(&field, &resource->type) || !r.Field(&field, &resource->name)) return false;
    field = (field + 3) & ~static_cast<size_t>(3);
    // DataVersion (4), MemoryFlags (2), LanguageId (2), Version (4), Characteristics (4).
    if (field + 16 > at + headerSize) return false;
    r.Word(field + 6, &resource->language);
    resource->name.name = UpperName(resource->name.name);
    resource->type.name = UpperName(resource->type.name);
    const uint8_t* begin = data + at + headerSize;
    resource->data.assign(begin, begin + dataSize);
    // The first record of a .res file is an empty one that marks the format.
    bool marker = dataSize == 0 && resource->type.ordinal == 0 && resource->type.name.empty();
    if (!marker) out->push_back(std::move(resource));
    at = (at + headerSize + dataSize + 3) & ~static_cast<size_t>(3);
  }
  return true;
}

// A name as FindResourceW takes it: an ordinal, "#123", or a text.
Id IdOf(LPCWSTR value) {
  Id id;
  if (IS_INTRESOURCE(value)) {
    id.ordinal = static_cast<WORD>(reinterpret_cast<uintptr_t>(value));
  } else if (value[0] == L'#') {
    id.ordinal = static_cast<WORD>(std::wcstoul(value + 1, nullptr, 10));
  } else {
    id.name = UpperName(value);
  }
  return id;
}

}  // namespace

bool SetProgramResources(const void* resFile, size_t size) {
  std::vector<std::unique_ptr<Resource>> parsed;
  bool ok = !resFile || Parse(static_cast<const uint8_t*>(resFile), size, &parsed);
  std::lock_guard<std::mutex> guard(State().lock);
  State().icons.clear();
  State().resources = ok ? std::move(parsed) : std::vector<std::unique_ptr<Resource>>{};
  return ok;
}

size_t ProgramResourceCount() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().resources.size();
}

HMODULE ProgramModule() { return kProgramModule; }

}  // namespace resources
}  // namespace host

using host::resources::State;

HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HOST_ENTER("FindResourceW", nullptr);
  if (module && module != host::resources::kProgramModule) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);  // the system's libraries carry no resources here
    return nullptr;
  }
  if (!name || !type) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  host::resources::Id wantedType = host::resources::IdOf(type);
  host::resources::Id wantedName = host::resources::IdOf(name);
  std::lock_guard<std::mutex> guard(State().lock);
  bool typeFound = false;
  for (const auto& resource : State().resources) {
    if (!(resource->type == wantedType)) continue;
    typeFound = true;
    if (resource->name == wantedName) return reinterpret_cast<HRSRC>(resource.get());
  }
  SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource) {
  HOST_ENTER("LoadResource", nullptr);
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto* r = reinterpret_cast<host::resources::Resource*>(resource);
  return r->data.empty() ? static_cast<HGLOBAL>(r) : static_cast<HGLOBAL>(r->data.data());
}

LPVOID WINAPI LockResource(HGLOBAL resourceData) { return resourceData; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<DWORD>(reinterpret_cast<host::resources::Resource*>(resource)->data.size());
}

// A system icon (null instance, IDI_*) or an icon group of the program's resources. Icons are
// shared: loading the same one again gives the same handle, and DestroyIcon leaves it valid.
HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) {
  HOST_ENTER("LoadIconW", nullptr);
  if (!instance) {
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    if (IS_INTRESOURCE(name) && id >= 32512 && id <= 32518) {
      return reinterpret_cast<HICON>(host::win::kSystemIconBase + id);
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  HRSRC resource = FindResourceW(instance, name, RT_GROUP_ICON);
  if (!resource) return nullptr;
  std::lock_guard<std::mutex> guard(State().lock);
  auto& icons = State().icons;
  auto* r = reinterpret_cast<const host::resources::Resource*>(resource);
  auto it = std::find(icons.begin(), icons.end(), r);
  if (it == icons.end()) it = icons.insert(icons.end(), r);
  return reinterpret_cast<HICON>(host::resources::kProgramIconBase + 4 * static_cast<uintptr_t>(it - icons.begin()));
}

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  HOST_ENTER("LoadCursorW", nullptr);
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (!instance && IS_INTRESOURCE(name) && id >= 32512 && id <= 32651) {
    return reinterpret_cast<HCURSOR>(host::win::kSystemCursorBase + id);
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);  // the program has no cursors of its own
  return nullptr;
}
