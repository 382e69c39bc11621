// Byte-stream devices behind device files: the USB printer device path and the non-spooled
// parallel port. The host knows nothing of what sits behind a device; a test binds an endpoint
// to it (see tests/support for the adapter that binds a simulated printer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/files.h"
#include "winhost/base.h"

namespace host {
namespace device_files {

// What sits behind one opened device handle. Calls come from the thread that does the transfer.
class ByteStreamEndpoint {
 public:
  virtual ~ByteStreamEndpoint() = default;
  // Takes the bytes the program wrote. Returns 0 when all were taken, or the error code that
  // fails the write (nothing counts as written then). ERROR_IO_PENDING: the device takes
  // nothing now (it stopped answering); the write stays pending until it is cancelled.
  virtual DWORD Write(const uint8_t* data, size_t size) = 0;
  // Hands over bytes for one read, at most `capacity`. None when nothing is there: the read
  // then stays pending until a later write makes the endpoint answer, or it is cancelled.
  virtual std::optional<std::vector<uint8_t>> Read(size_t capacity) = 0;
  // False for a driver that ignores cancellation: CancelIoEx succeeds, yet the transfer stays
  // pending (the program must then keep its control block and buffer).
  virtual bool HonoursCancel() const { return true; }
};

// The kernel object of an opened device handle on an endpoint. `access` is the access the
// handle was opened with: a handle without GENERIC_WRITE refuses writing, one without
// GENERIC_READ refuses reading (ERROR_ACCESS_DENIED). `flags` are CreateFileW's flags and
// attributes: with FILE_FLAG_OVERLAPPED a transfer the device cannot complete stays pending;
// without it Windows would block inside ReadFile or WriteFile, and the host instead ends the
// program at once with "synchronous read on <path> would block" (or write) on standard error.
std::shared_ptr<KernelObject> NewDevice(std::wstring path, DWORD access, DWORD flags,
                                        std::shared_ptr<ByteStreamEndpoint> endpoint);

// The non-spooled parallel port "\\.\NONSPOOLED_LPT1". A fresh machine has none (opening it
// fails with ERROR_FILE_NOT_FOUND). Each opening asks `factory` for the endpoint of the new handle.
using EndpointFactory = std::function<std::shared_ptr<ByteStreamEndpoint>()>;
void AttachParallelPort(EndpointFactory factory);
// Makes every later opening of the parallel port fail with `error` (0: opens again).
void SetParallelPortError(DWORD error);

// How the parallel port was opened, in order.
struct Opening {
  DWORD access;
  DWORD share;
  DWORD creation;
  DWORD flags;
};
std::vector<Opening> ParallelPortOpenings();

// Transfers that were started and have neither completed nor been cancelled (they are also
// listed as open resources).
int PendingTransfers();

}  // namespace device_files
}  // namespace host
