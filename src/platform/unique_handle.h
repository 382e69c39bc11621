// Owners for operating-system handles: each closes its handle when it goes out of scope, so
// every path of an operation releases what it opened. One owner type per kind of handle,
// after the manner of WIL's unique_any.
#pragma once

#include <utility>

#include "platform/spooler_library.h"
#include "platform/win32.h"

namespace platform {

// Traits: `Type`, `Invalid()` and `Close(Type)`.
template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() : value_(Traits::Invalid()) {}
  explicit UniqueResource(Type value) : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  Type get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  // Closes the current value (if any) and takes `value`.
  void reset(Type value = Traits::Invalid()) {
    if (valid()) Traits::Close(value_);
    value_ = value;
  }
  Type release() {
    Type value = value_;
    value_ = Traits::Invalid();
    return value;
  }
  // For out-parameters of the API: closes the current value first.
  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_;
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { ::CloseHandle(handle); }
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type handle) { ::CloseHandle(handle); }
};

struct LocalMemoryTraits {
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type memory) { ::LocalFree(memory); }
};

struct ServiceHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type handle) { ::CloseServiceHandle(handle); }
};

struct SocketTraits {
  using Type = SOCKET;
  static Type Invalid() { return INVALID_SOCKET; }
  static void Close(Type socket) { ::closesocket(socket); }
};

struct PrinterHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type printer) { spooler::ClosePrinter(printer); }
};

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type key) { ::RegCloseKey(key); }
};

struct DeviceInfoSetTraits {
  using Type = HDEVINFO;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type set) { ::SetupDiDestroyDeviceInfoList(set); }
};

struct LibraryTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type module) { ::FreeLibrary(module); }
};

struct GlobalMemoryTraits {
  using Type = HGLOBAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type memory) { ::GlobalFree(memory); }
};

// Files and devices from CreateFileW (invalid: INVALID_HANDLE_VALUE).
using UniqueFile = UniqueResource<FileHandleTraits>;
// Events, mutexes, threads, processes (invalid: null).
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;
// Memory from LocalAlloc or FORMAT_MESSAGE_ALLOCATE_BUFFER.
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;
// Service control manager and service handles (invalid: null).
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;
// Sockets from socket() (invalid: INVALID_SOCKET).
using UniqueSocket = UniqueResource<SocketTraits>;
// Printer handles from OpenPrinterW (invalid: null).
using UniquePrinter = UniqueResource<PrinterHandleTraits>;
// Registry keys from RegOpenKeyExW or SetupDiOpenDevRegKey (invalid: null; a failed
// SetupDiOpenDevRegKey gives INVALID_HANDLE_VALUE, which must not be taken).
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;
// Device information sets from SetupAPI (invalid: INVALID_HANDLE_VALUE).
using UniqueDeviceInfoSet = UniqueResource<DeviceInfoSetTraits>;
// Libraries from LoadLibraryW (invalid: null).
using UniqueLibrary = UniqueResource<LibraryTraits>;
// Fixed blocks from GlobalAlloc (invalid: null).
using UniqueGlobalMemory = UniqueResource<GlobalMemoryTraits>;

}  // namespace platform
