#include "app/dll_search_path.h"

#include "platform/win32.h"

namespace {

constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);

// Entry points of kernel32 looked up at run time: older systems lack the first.
template <typename Fn>
Fn Kernel32Entry(HMODULE kernel32, const char* name) {
  FARPROC entry = kernel32 ? ::GetProcAddress(kernel32, name) : nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(entry));
}

}  // namespace

bool RestrictDllSearchPath() {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  if (auto setDefault = Kernel32Entry<SetDefaultDllDirectoriesFn>(kernel32, "SetDefaultDllDirectories")) {
    return setDefault(kSearchSystem32) != FALSE;
  }
  if (auto setDirectory = Kernel32Entry<SetDllDirectoryFn>(kernel32, "SetDllDirectoryW")) {
    return setDirectory(L"") != FALSE;
  }
  return false;
}
