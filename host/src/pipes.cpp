// Anonymous pipes and handle flags.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "host/kernel_objects.h"
#include "host/machine.h"
#include "internal.h"
#include "winhost/kernel.h"

namespace host {
namespace {

constexpr DWORD kDefaultPipeBytes = 4096;

struct Pipe {
  std::mutex lock;
  std::string data;
  size_t capacity = kDefaultPipeBytes;
  bool readerOpen = true;
  bool writerOpen = true;
};

// Windows would block the calling thread for good; a test must fail instead of hanging.
[[noreturn]] void WouldBlock(const char* direction) {
  std::fprintf(stderr, "synchronous %s on pipe would block\n", direction);
  std::fflush(stderr);
  std::abort();
}

// One end of a pipe; the pipe learns of the end's last handle closing.
class PipeEnd : public KernelObject {
 public:
  PipeEnd(std::shared_ptr<Pipe> pipe, bool reader) : pipe_(std::move(pipe)), reader_(reader) {}
  ~PipeEnd() override {
    std::lock_guard<std::mutex> guard(pipe_->lock);
    (reader_ ? pipe_->readerOpen : pipe_->writerOpen) = false;
  }
  std::string Describe() const override { return reader_ ? "pipe (read end)" : "pipe (write end)"; }

  BOOL Read(void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) override {
    DWORD got = 0;
    DWORD error = 0;
    {
      std::lock_guard<std::mutex> guard(pipe_->lock);
      if (!reader_) {
        error = ERROR_ACCESS_DENIED;
      } else if (!pipe_->data.empty()) {
        got = static_cast<DWORD>(std::min<size_t>(count, pipe_->data.size()));
        std::memcpy(buffer, pipe_->data.data(), got);
        pipe_->data.erase(0, got);
      } else if (!pipe_->writerOpen) {
        error = ERROR_BROKEN_PIPE;
      } else if (count > 0) {
        WouldBlock("read");
      }
    }
    return Done(error, got, done, overlapped);
  }

  BOOL Write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) override {
    DWORD error = 0;
    {
      std::lock_guard<std::mutex> guard(pipe_->lock);
      if (reader_) {
        error = ERROR_ACCESS_DENIED;
      } else if (!pipe_->readerOpen) {
        error = ERROR_NO_DATA;
      } else if (pipe_->data.size() + count > pipe_->capacity) {
        WouldBlock("write");
      } else {
        pipe_->data.append(static_cast<const char*>(buffer), count);
      }
    }
    return Done(error, error ? 0 : count, done, overlapped);
  }

 private:
  static BOOL Done(DWORD error, DWORD bytes, DWORD* done, OVERLAPPED* overlapped) {
    if (done) *done = bytes;
    CompleteOverlapped(overlapped, error, bytes);
    if (error) SetLastError(error);
    return error ? FALSE : TRUE;
  }

  std::shared_ptr<Pipe> pipe_;
  bool reader_;
};

}  // namespace
}  // namespace host

BOOL WINAPI CreatePipe(PHANDLE readPipe, PHANDLE writePipe, LPSECURITY_ATTRIBUTES, DWORD size) {
  HOST_ENTER("CreatePipe", FALSE);
  auto pipe = std::make_shared<host::Pipe>();
  if (size > 0) pipe->capacity = size;
  *readPipe = host::NewHandle(std::make_shared<host::PipeEnd>(pipe, true));
  *writePipe = host::NewHandle(std::make_shared<host::PipeEnd>(pipe, false));
  return TRUE;
}

BOOL WINAPI SetHandleInformation(HANDLE object, DWORD mask, DWORD flags) {
  HOST_ENTER("SetHandleInformation", FALSE);
  if (!host::ObjectOf(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (mask & flags & HANDLE_FLAG_PROTECT_FROM_CLOSE) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  return TRUE;
}
