#include "platform/spooler_library.h"

#include <atomic>
#include <cwchar>
#include <iterator>

#include "platform/trace_sink.h"

namespace spooler {
namespace {

// kernel32 has AddDllDirectory exactly where LoadLibraryExW knows the LOAD_LIBRARY_SEARCH_*
// flags (Windows 8 on, Windows 7 with KB2533623): Microsoft's documented way to tell.
bool LoaderHasSearchFlags() {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  return kernel32 && ::GetProcAddress(kernel32, "AddDllDirectory");
}

// Looked for in the system directory alone, whatever the process's search path is. Without the
// search flags the library is named by its full path in the system directory, with the altered
// search path, so that the loader looks for its own dependencies there too and not beside the
// program.
HMODULE LoadFromSystemDirectory() {
  HMODULE module = nullptr;
  if (LoaderHasSearchFlags()) {
    module = ::LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    wchar_t path[MAX_PATH];
    const wchar_t kName[] = L"\\winspool.drv";
    UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    if (length > 0 && length + std::size(kName) <= MAX_PATH) {
      std::wcscpy(path + length, kName);
      module = ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
  }
  if (!module) {
    DWORD error = ::GetLastError();
    platform::Trace(L"LoadLibraryExW(winspool.drv) failed gle=%d", static_cast<int>(error));
    ::SetLastError(error);
  }
  return module;
}

std::atomic<HMODULE> g_library{nullptr};

// The library, loaded on first use; null (with the loader's error) when it cannot be. Two
// threads that load it at once keep one reference between them.
HMODULE Library() {
  HMODULE module = g_library.load();
  if (module) return module;
  module = LoadFromSystemDirectory();
  if (!module) return nullptr;
  HMODULE first = nullptr;
  if (!g_library.compare_exchange_strong(first, module)) {
    ::FreeLibrary(module);  // the other thread's reference stays
    return first;
  }
  return module;
}

template <typename Function>
Function Entry(const char* name, const wchar_t* wideName) {
  HMODULE module = Library();
  if (!module) return nullptr;
  FARPROC entry = ::GetProcAddress(module, name);
  if (!entry) {
    DWORD error = ::GetLastError();
    platform::Trace(L"GetProcAddress(winspool.drv, %ls) failed gle=%d", wideName, static_cast<int>(error));
    ::SetLastError(error);
  }
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry));
}

// The entry point `function` of the library called with `args`, or FALSE with the loader's error.
#define SPOOLER_CALL(function, ...)                                         \
  [&]() -> BOOL {                                                           \
    auto entry = Entry<decltype(&::function)>(#function, L"" #function);    \
    return entry ? entry(__VA_ARGS__) : FALSE;                              \
  }()

}  // namespace

BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printerEnum, DWORD bufferSize,
                   LPDWORD bytesNeeded, LPDWORD returned) {
  return SPOOLER_CALL(EnumPrintersW, flags, name, level, printerEnum, bufferSize, bytesNeeded, returned);
}

BOOL OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
  return SPOOLER_CALL(OpenPrinterW, printerName, printer, defaults);
}

BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD bufferSize, LPDWORD bytesNeeded) {
  return SPOOLER_CALL(GetPrinterW, printer, level, buffer, bufferSize, bytesNeeded);
}

BOOL ClosePrinter(HANDLE printer) { return SPOOLER_CALL(ClosePrinter, printer); }

BOOL EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD bufferSize, LPDWORD bytesNeeded,
                LPDWORD returned) {
  return SPOOLER_CALL(EnumPortsW, name, level, ports, bufferSize, bytesNeeded, returned);
}

BOOL XcvDataW(HANDLE xcv, PCWSTR dataName, PBYTE inputData, DWORD inputSize, PBYTE outputData,
              DWORD outputSize, PDWORD outputNeeded, PDWORD status) {
  return SPOOLER_CALL(XcvDataW, xcv, dataName, inputData, inputSize, outputData, outputSize, outputNeeded, status);
}

void ReleaseLibraryAtExit() {
  HMODULE module = g_library.exchange(nullptr);
  if (module) ::FreeLibrary(module);
}

}  // namespace spooler

#undef SPOOLER_CALL
