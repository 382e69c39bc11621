// CreateThread and _beginthreadex on real threads. A thread object is signalled when its thread
// ends; threads still running count in the leak check, as do their handles while open.
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "handle_table.h"
#include "host/kernel_objects.h"
#include "host/machine.h"
#include "internal.h"
#include "winhost/crt.h"
#include "winhost/kernel.h"

namespace host {
namespace {

struct ThreadEnd {
  DWORD exitCode;
};

class ThreadObject : public KernelObject {
 public:
  std::string Describe() const override { return "thread " + std::to_string(id_.load()); }
  bool Waitable() const override { return true; }
  bool TryAcquire() override { return finished_.load(); }

  std::atomic<DWORD> id_{0};
  std::atomic<bool> finished_{false};
  std::atomic<DWORD> exitCode_{STILL_ACTIVE};
  // Start control: the creator learns the thread's identifier; a suspended thread waits.
  std::mutex lock_;
  std::condition_variable changed_;
  bool idKnown_ = false;
  bool suspended_ = false;
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

HANDLE StartThread(std::function<DWORD()> body, bool suspended, DWORD* threadId) {
  auto object = std::make_shared<ThreadObject>();
  object->suspended_ = suspended;
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
      object->changed_.wait(guard, [&] { return !object->suspended_; });
    }
    DWORD code;
    try {
      code = body();
    } catch (const ThreadEnd& end) {
      code = end.exitCode;
    }
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
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return host::StartThread([start, parameter] { return start(parameter); }, (creationFlags & CREATE_SUSPENDED) != 0,
                           threadId);
}

uintptr_t _beginthreadex(void*, unsigned, unsigned(__stdcall* start)(void*), void* argument, unsigned initFlag,
                         unsigned* threadId) {
  HOST_ENTER("_beginthreadex", 0);
  if (!start) {
    errno = EINVAL;
    return 0;
  }
  DWORD id = 0;
  HANDLE thread = host::StartThread([start, argument] { return static_cast<DWORD>(start(argument)); },
                                    (initFlag & CREATE_SUSPENDED) != 0, &id);
  if (threadId) *threadId = id;
  return reinterpret_cast<uintptr_t>(thread);
}

// Only threads the host started can end early; the exception unwinds to their start.
void _endthreadex(unsigned exitCode) { throw host::ThreadEnd{exitCode}; }

DWORD WINAPI ResumeThread(HANDLE thread) {
  HOST_ENTER("ResumeThread", static_cast<DWORD>(-1));
  auto object = host::ObjectAs<host::ThreadObject>(thread);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  std::lock_guard<std::mutex> guard(object->lock_);
  DWORD previous = object->suspended_ ? 1 : 0;
  object->suspended_ = false;
  object->changed_.notify_all();
  return previous;
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
