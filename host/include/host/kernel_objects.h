// Kernel objects behind HANDLE values, for the host's own implementations and for tests.
#pragma once

#include <memory>
#include <string>

#include "winhost/base.h"
#include "winhost/fileio.h"

namespace host {

class KernelObject : public std::enable_shared_from_this<KernelObject> {
 public:
  virtual ~KernelObject() = default;
  virtual std::string Describe() const = 0;  // "event", "file C:\x.bin", ...

  // Waiting: an object that can be waited on says whether it is signalled, and takes the
  // signal when a wait is satisfied (auto-reset events reset, a mutex gets its owner).
  virtual bool Waitable() const { return false; }
  virtual bool TryAcquire() { return false; }

  // Reading and writing (files and devices). The default refuses with ERROR_INVALID_HANDLE.
  // `overlapped` is the caller's control block; a synchronous object completes the transfer
  // inside the call and reports it through CompleteOverlapped.
  virtual BOOL Read(void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped);
  virtual BOOL Write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped);
  // Cancels transfers in progress (CancelIoEx); false when none was pending.
  virtual bool Cancel(OVERLAPPED* overlapped) { return false; }
};

HANDLE NewHandle(std::shared_ptr<KernelObject> object);
// Closes every handle a process holds (its end).
void CloseHandlesOfProcess(DWORD process);
std::shared_ptr<KernelObject> ObjectOf(HANDLE handle);
template <typename T>
std::shared_ptr<T> ObjectAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(ObjectOf(handle));
}

// Wakes every thread that waits on an object; call after a state change that may signal one.
void NotifyWaiters();
bool SetEventObject(HANDLE event);

// Records the outcome of a transfer in its control block (status and byte count) and
// signals the control block's event.
void CompleteOverlapped(OVERLAPPED* overlapped, DWORD error, DWORD bytes);
// Marks a transfer as started but not finished (GetOverlappedResult then reports
// ERROR_IO_INCOMPLETE until it completes).
void MarkOverlappedPending(OVERLAPPED* overlapped);

}  // namespace host
