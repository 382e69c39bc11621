#include "platform/spooler_library.h"

#include <cwchar>
#include <iterator>

#include "diag/diag_log.h"

namespace spooler {
namespace {

// Looked for in the system directory alone, whatever the process's search path is. A system
// without the search flags (Windows 7 without KB2533623) refuses them as an invalid parameter:
// there the library is named by its full path in the system directory.
HMODULE LoadFromSystemDirectory() {
  HMODULE module = ::LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    wchar_t path[MAX_PATH];
    const wchar_t kName[] = L"\\winspool.drv";
    UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    if (length > 0 && length + std::size(kName) <= MAX_PATH) {
      std::wcscpy(path + length, kName);
      module = ::LoadLibraryW(path);
    }
  }
  if (!module) {
    DWORD error = ::GetLastError();
    DiagLog::Write(L"LoadLibraryExW(winspool.drv) failed gle=%d", static_cast<int>(error));
    ::SetLastError(error);
  }
  return module;
}

// Gives a reference back without disturbing the last error the spooler call left.
void Release(HMODULE module) {
  DWORD error = ::GetLastError();
  ::FreeLibrary(module);
  ::SetLastError(error);
}

// One reference on the library for the life of the object, unless handed on with Keep().
class Reference {
 public:
  Reference() : module_(LoadFromSystemDirectory()) {}
  ~Reference() {
    if (module_) Release(module_);
  }
  Reference(const Reference&) = delete;
  Reference& operator=(const Reference&) = delete;

  template <typename Function>
  Function Entry(const char* name, const wchar_t* wideName) const {
    if (!module_) return nullptr;
    FARPROC entry = ::GetProcAddress(module_, name);
    if (!entry) {
      DWORD error = ::GetLastError();
      DiagLog::Write(L"GetProcAddress(winspool.drv, %ls) failed gle=%d", wideName, static_cast<int>(error));
      ::SetLastError(error);
    }
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry));
  }
  // The reference stays taken after the object is gone (a printer handle holds it).
  void Keep() { module_ = nullptr; }
  // Gives back, besides this object's own, the reference a closed printer handle held.
  void ReleaseHandleReference() const {
    if (module_) Release(module_);
  }

 private:
  HMODULE module_;
};

// The entry point `function` of the library called with `args`, or FALSE with the loader's error.
#define SPOOLER_CALL(reference, function, ...)                                            \
  [&]() -> BOOL {                                                                          \
    auto entry = (reference).Entry<decltype(&::function)>(#function, L"" #function);       \
    return entry ? entry(__VA_ARGS__) : FALSE;                                             \
  }()

}  // namespace

BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printerEnum, DWORD bufferSize,
                   LPDWORD bytesNeeded, LPDWORD returned) {
  Reference library;
  return SPOOLER_CALL(library, EnumPrintersW, flags, name, level, printerEnum, bufferSize, bytesNeeded, returned);
}

BOOL OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
  Reference library;
  BOOL opened = SPOOLER_CALL(library, OpenPrinterW, printerName, printer, defaults);
  if (opened) library.Keep();
  return opened;
}

BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD bufferSize, LPDWORD bytesNeeded) {
  Reference library;
  return SPOOLER_CALL(library, GetPrinterW, printer, level, buffer, bufferSize, bytesNeeded);
}

BOOL ClosePrinter(HANDLE printer) {
  Reference library;
  BOOL closed = SPOOLER_CALL(library, ClosePrinter, printer);
  // The handle's own reference goes with it. A handle that did not close keeps it: the library
  // must not unload under a handle that may still be live.
  if (closed) library.ReleaseHandleReference();
  return closed;
}

BOOL EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD bufferSize, LPDWORD bytesNeeded,
                LPDWORD returned) {
  Reference library;
  return SPOOLER_CALL(library, EnumPortsW, name, level, ports, bufferSize, bytesNeeded, returned);
}

BOOL XcvDataW(HANDLE xcv, PCWSTR dataName, PBYTE inputData, DWORD inputSize, PBYTE outputData,
              DWORD outputSize, PDWORD outputNeeded, PDWORD status) {
  Reference library;
  return SPOOLER_CALL(library, XcvDataW, xcv, dataName, inputData, inputSize, outputData, outputSize, outputNeeded,
                      status);
}

}  // namespace spooler

#undef SPOOLER_CALL
