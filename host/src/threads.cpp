// CreateThread on real threads. A thread object is signalled when its thread
// ends; threads still running count in the leak check, as do their handles while open.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "handle_table.h"
#include "host/kernel_objects.h"
#include "host/machine.h"
#include "internal.h"
#include "winhost/kernel.h"

namespace host {
namespace {

class ThreadObject : public KernelObject {
 public:
  std::string Describe() const override { return "thread " + std::to_string(id_.load()); }
  bool Waitable() const override { return true; }
  bool TryAcquire() override { return finished_.load(); }

  std::atomic<DWORD> id_{0};
  std::atomic<bool> finished_{false};
  std::atomic<DWORD> exitCode_{STILL_ACTIVE};
  // The creator learns the thread's identifier before CreateThread returns.
  std::mutex lock_;
  std::condition_variable changed_;
  bool idKnown_ = false;
};

struct ThreadTable {
  std::mutex lock;
  // By thread identifier, which the thread has already: the table hands out no values.
  HandleTable<std::weak_ptr<ThreadObject>> running{"thread", 0, 0, true};
};

ThreadTable& Table() {
  static ThreadTable* table = new ThreadTable;
  return *table;
}

std::vector<std::string> ListRunning() {
  std::lock_guard<std::mutex> guard(Table().lock);
  return Table().running.List([](const std::weak_ptr<ThreadObject>&) { return "still running"; });
}

// Threads of an earlier test may still run; they are forgotten, not stopped.
void ForgetThreads() {
  std::lock_guard<std::mutex> guard(Table().lock);
  Table().running.Clear(false);
}

const bool g_registered = [] {
  RegisterArea(Area{"threads", ForgetThreads, ListRunning});
  return true;
}();

HANDLE StartThread(std::function<DWORD()> body, DWORD* threadId) {
  auto object = std::make_shared<ThreadObject>();
  DWORD process = GetCurrentProcessId();
  std::thread([object, body = std::move(body), process] {
    SetCurrentProcessId(process);
    DWORD id = CurrentThreadId();
    {
      std::lock_guard<std::mutex> guard(Table().lock);
      Table().running.Insert(id, object);
    }
    {
      std::unique_lock<std::mutex> guard(object->lock_);
      object->id_ = id;
      object->idKnown_ = true;
      object->changed_.notify_all();
    }
    DWORD code = body();
    EndThreadState();
    {
      std::lock_guard<std::mutex> guard(Table().lock);
      Table().running.Remove(uintptr_t{id});
    }
    object->exitCode_ = code;
    object->finished_ = true;
    NotifyWaiters();
  }).detach();
  std::unique_lock<std::mutex> guard(object->lock_);
  object->changed_.wait(guard, [&] { return object->idKnown_; });
  if (threadId) *threadId = object->id_;
  guard.unlock();
  return NewHandle(object);
}

}  // namespace
}  // namespace host

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                           DWORD creationFlags, LPDWORD threadId) {
  HOST_ENTER("CreateThread", nullptr);
  // Threads start at once: a suspended start is not modelled, so it is refused, not ignored.
  if (!start || creationFlags != 0) {
    SetLastError(start ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return host::StartThread([start, parameter] { return start(parameter); }, threadId);
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  HOST_ENTER("GetExitCodeThread", FALSE);
  auto object = host::ObjectAs<host::ThreadObject>(thread);
  if (!object || !exitCode) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = object->finished_ ? object->exitCode_.load() : static_cast<DWORD>(STILL_ACTIVE);
  return TRUE;
}
