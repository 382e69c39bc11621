// Byte-stream device files: transfers on an endpoint, CancelIoEx, and the non-spooled
// parallel port.
#include "host/device_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "host/kernel_objects.h"
#include "host/machine.h"
#include "internal.h"
#include "winhost/fileio.h"
#include "winhost/kernel.h"

namespace host {
namespace device_files {
namespace {

constexpr wchar_t kParallelPortPath[] = L"\\\\.\\NONSPOOLED_LPT1";

struct State {
  std::mutex lock;
  // Pending transfers by device, and those whose device was closed while they were pending.
  std::map<const void*, std::vector<std::string>> pending;
  std::vector<std::string> abandoned;
  bool openerRegistered = false;
  EndpointFactory parallelFactory;
  DWORD parallelError = 0;
  std::vector<Opening> openings;
};

State& Devices() {
  static State* state = new State;
  return *state;
}

void Reset() {
  std::lock_guard<std::mutex> guard(Devices().lock);
  Devices().pending.clear();
  Devices().abandoned.clear();
  Devices().openerRegistered = false;
  Devices().parallelFactory = nullptr;
  Devices().parallelError = 0;
  Devices().openings.clear();
}

std::vector<std::string> ListPending() {
  std::lock_guard<std::mutex> guard(Devices().lock);
  std::vector<std::string> open;
  for (const auto& [device, transfers] : Devices().pending) open.insert(open.end(), transfers.begin(), transfers.end());
  for (const std::string& transfer : Devices().abandoned) open.push_back(transfer + " (device closed while pending)");
  return open;
}

const bool g_registered = [] {
  RegisterArea(Area{"device files", Reset, ListPending});
  return true;
}();

bool CanRead(DWORD access) { return access & (GENERIC_READ | GENERIC_ALL); }
bool CanWrite(DWORD access) { return access & (GENERIC_WRITE | GENERIC_ALL); }

// Windows would block the calling thread for good; a test must fail instead of hanging.
[[noreturn]] void WouldBlock(const char* direction, const std::wstring& path) {
  std::fprintf(stderr, "synchronous %s on %s would block\n", direction, Utf8Of(path).c_str());
  std::fflush(stderr);
  std::abort();
}

class ByteStreamDevice : public KernelObject {
 public:
  ByteStreamDevice(std::wstring path, DWORD access, DWORD flags, std::shared_ptr<ByteStreamEndpoint> endpoint)
      : path_(std::move(path)),
        access_(access),
        overlappedIo_((flags & FILE_FLAG_OVERLAPPED) != 0),
        endpoint_(std::move(endpoint)) {}

  // Windows cancels a pending transfer when the last handle closes. Here the transfer is set
  // aside unfinished instead, and reported as left open: its control block may be gone by now.
  ~ByteStreamDevice() override {
    std::lock_guard<std::mutex> guard(Devices().lock);
    auto it = Devices().pending.find(this);
    if (it == Devices().pending.end()) return;
    for (std::string& transfer : it->second) Devices().abandoned.push_back(std::move(transfer));
    Devices().pending.erase(it);
  }

  std::string Describe() const override { return "device " + Utf8Of(path_); }

  // A transfer the device completes at once completes inside the call and signals the control
  // block's event, on either kind of handle. One it cannot complete blocks a synchronous handle
  // (the host ends the program) and stays pending on an overlapped one.
  BOOL Read(void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) override {
    if (done) *done = 0;
    if (!CanRead(access_)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (overlappedIo_ && !overlapped) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.empty()) {
      if (auto bytes = endpoint_->Read(count)) {
        DWORD n = Deliver(*bytes, buffer, count);
        if (done) *done = n;
        CompleteOverlapped(overlapped, 0, n);
        return TRUE;
      }
    }
    if (!overlappedIo_) WouldBlock("read", path_);
    Queue(Pending{false, static_cast<uint8_t*>(buffer), count, overlapped});
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
  }

  BOOL Write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) override {
    if (done) *done = 0;
    if (!CanWrite(access_)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (overlappedIo_ && !overlapped) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::lock_guard<std::mutex> guard(lock_);
    DWORD error = endpoint_->Write(static_cast<const uint8_t*>(buffer), count);
    if (error == ERROR_IO_PENDING) {
      if (!overlappedIo_) WouldBlock("write", path_);
      Queue(Pending{true, nullptr, count, overlapped});
      SetLastError(ERROR_IO_PENDING);
      return FALSE;
    }
    if (error != 0) {
      CompleteOverlapped(overlapped, error, 0);
      SetLastError(error);
      return FALSE;
    }
    if (done) *done = count;
    CompleteOverlapped(overlapped, 0, count);
    ServeQueue();
    return TRUE;
  }

  bool Cancel(OVERLAPPED* overlapped) override {
    std::lock_guard<std::mutex> guard(lock_);
    bool found = false;
    for (auto it = queue_.begin(); it != queue_.end();) {
      if (overlapped && it->overlapped != overlapped) {
        ++it;
        continue;
      }
      found = true;
      if (!endpoint_->HonoursCancel()) {
        ++it;
        continue;
      }
      CompleteOverlapped(it->overlapped, ERROR_OPERATION_ABORTED, 0);
      it = queue_.erase(it);
    }
    UpdatePending();
    return found;
  }

 private:
  // A transfer started and not yet completed. A write stays pending until it is cancelled.
  struct Pending {
    bool write;
    uint8_t* buffer;
    DWORD capacity;
    OVERLAPPED* overlapped;
  };

  void Queue(Pending transfer) {
    MarkOverlappedPending(transfer.overlapped);
    queue_.push_back(transfer);
    UpdatePending();
  }

  static DWORD Deliver(const std::vector<uint8_t>& bytes, void* buffer, DWORD capacity) {
    DWORD n = static_cast<DWORD>(std::min<size_t>(bytes.size(), capacity));
    if (n) std::memcpy(buffer, bytes.data(), n);
    return n;
  }

  // Completes queued reads, oldest first, while the endpoint has something for them.
  void ServeQueue() {
    while (!queue_.empty() && !queue_.front().write) {
      auto bytes = endpoint_->Read(queue_.front().capacity);
      if (!bytes) break;
      Pending read = queue_.front();
      queue_.pop_front();
      CompleteOverlapped(read.overlapped, 0, Deliver(*bytes, read.buffer, read.capacity));
    }
    UpdatePending();
  }

  void UpdatePending() {
    std::lock_guard<std::mutex> guard(Devices().lock);
    if (queue_.empty()) {
      Devices().pending.erase(this);
      return;
    }
    std::vector<std::string>& list = Devices().pending[this];
    list.clear();
    for (const Pending& transfer : queue_) {
      list.push_back(std::string(transfer.write ? "pending write of " : "pending read of ") +
                     std::to_string(transfer.capacity) + " bytes on " + Describe());
    }
  }

  std::wstring path_;
  DWORD access_;
  bool overlappedIo_;
  std::shared_ptr<ByteStreamEndpoint> endpoint_;
  std::mutex lock_;
  std::deque<Pending> queue_;
};

DeviceOpen OpenParallelPort(const std::wstring& path, DWORD access, DWORD share, DWORD creation, DWORD flags) {
  if (!NamesEqual(path, kParallelPortPath)) return DeviceOpen{};
  EndpointFactory factory;
  {
    std::lock_guard<std::mutex> guard(Devices().lock);
    Devices().openings.push_back(Opening{access, share, creation, flags});
    if (Devices().parallelError != 0) return DeviceOpen{true, nullptr, Devices().parallelError};
    factory = Devices().parallelFactory;
  }
  if (!factory) return DeviceOpen{true, nullptr, ERROR_FILE_NOT_FOUND};
  return DeviceOpen{true, NewDevice(kParallelPortPath, access, flags, factory()), 0};
}

void RegisterParallelPortLocked() {
  if (Devices().openerRegistered) return;
  Devices().openerRegistered = true;
  RegisterDeviceOpener(OpenParallelPort);
}

}  // namespace

std::shared_ptr<KernelObject> NewDevice(std::wstring path, DWORD access, DWORD flags,
                                        std::shared_ptr<ByteStreamEndpoint> endpoint) {
  return std::make_shared<ByteStreamDevice>(std::move(path), access, flags, std::move(endpoint));
}

void AttachParallelPort(EndpointFactory factory) {
  std::lock_guard<std::mutex> guard(Devices().lock);
  RegisterParallelPortLocked();
  Devices().parallelFactory = std::move(factory);
}

void SetParallelPortError(DWORD error) {
  std::lock_guard<std::mutex> guard(Devices().lock);
  RegisterParallelPortLocked();
  Devices().parallelError = error;
}

std::vector<Opening> ParallelPortOpenings() {
  std::lock_guard<std::mutex> guard(Devices().lock);
  return Devices().openings;
}

int PendingTransfers() {
  std::lock_guard<std::mutex> guard(Devices().lock);
  size_t count = Devices().abandoned.size();
  for (const auto& [device, transfers] : Devices().pending) count += transfers.size();
  return static_cast<int>(count);
}

}  // namespace device_files
}  // namespace host

BOOL WINAPI CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
  HOST_ENTER("CancelIoEx", FALSE);
  auto object = host::ObjectOf(file);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!object->Cancel(overlapped)) {
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}
