// Message queues: each thread's posted and sent messages, their retrieval in Windows' order (sent
// messages, posted messages, WM_QUIT, WM_PAINT, WM_TIMER), modal loops, and messages sent across
// threads, which the receiver serves inside its own retrievals.
#include <algorithm>

#include "host/clock.h"
#include "host/machine.h"
#include "host/windows.h"
#include "internal.h"
#include "window_manager.h"
#include "winhost/kernel.h"

namespace host {
namespace win {
namespace {

constexpr size_t kQueueLimit = 10000;
constexpr std::chrono::microseconds kTimerRealMinimum{1000};

// Drops a thread's queue and windows when the thread ends (for every thread, also those the host
// did not start).
struct QueueOwner {
  DWORD thread = 0;
  ~QueueOwner();
};
thread_local QueueOwner t_queueOwner;

QueueOwner::~QueueOwner() {
  if (thread != 0) ForgetThread(thread);
}

WNDPROC ProcOf(HWND handle) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  return window ? window->proc : nullptr;
}

// Serves one message sent to the calling thread; false when none waits. Called with the lock
// held through `guard`, which is released around the window procedure.
bool ServeOneSent(std::unique_lock<std::mutex>& guard) {
  Queue& queue = MyQueue();
  if (queue.sent.empty()) return false;
  std::shared_ptr<Sent> sent = queue.sent.front();
  queue.sent.pop_front();
  guard.unlock();
  LRESULT result = Call(sent->window, sent->message, sent->wParam, sent->lParam);
  guard.lock();
  sent->result = result;
  sent->done = true;
  S().changed.notify_all();
  return true;
}

bool Matches(HWND filter, UINT min, UINT max, HWND window, UINT message) {
  if (filter == reinterpret_cast<HWND>(-1)) {
    if (window) return false;
  } else if (filter && window != filter && !IsDescendant(filter, window)) {
    return false;
  }
  return (min == 0 && max == 0) || (message >= min && message <= max);
}

MSG MakeMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = static_cast<DWORD>(GetTickCount());
  return msg;
}

// One message for the calling thread, in Windows' order, after serving every sent message.
// `nextDue` receives the host-clock time of the thread's next timer (or ~0).
bool Take(std::unique_lock<std::mutex>& guard, MSG* out, HWND filter, UINT min, UINT max, bool remove,
          ULONGLONG* nextDue) {
  while (ServeOneSent(guard)) {
  }
  DWORD me = CurrentThreadId();
  Queue& queue = MyQueue();
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!Matches(filter, min, max, it->hwnd, it->message)) continue;
    *out = *it;
    if (remove) queue.posted.erase(it);
    return true;
  }
  if (queue.quit) {
    *out = MakeMsg(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
    if (remove) queue.quit = false;
    return true;
  }
  for (HWND handle : S().order) {
    auto w = Find(handle);
    if (!w || w->thread != me || !w->needsPaint || !VisibleLocked(w)) continue;
    if (!Matches(filter, min, max, handle, WM_PAINT)) continue;
    *out = MakeMsg(handle, WM_PAINT, 0, 0);
    return true;
  }
  ULONGLONG now = clock::Now();
  *nextDue = ~0ull;
  for (Timer& timer : S().timers) {
    if (timer.thread != me || !Matches(filter, min, max, timer.window, WM_TIMER)) continue;
    if (timer.due <= now) {
      *out = MakeMsg(timer.window, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.proc));
      if (remove) timer.due = now + timer.period;
      return true;
    }
    *nextDue = std::min(*nextDue, timer.due);
  }
  return false;
}

// Waits until something may have arrived for the calling thread: a notification, or its next
// timer's time, which a wait moves the host clock forward to.
void WaitForWork(std::unique_lock<std::mutex>& guard, ULONGLONG nextDue) {
  Queue& queue = MyQueue();
  queue.idle = true;
  S().observers.notify_all();
  if (nextDue == ~0ull) {
    S().changed.wait(guard);
  } else {
    ULONGLONG now = clock::Now();
    if (nextDue > now) {
      // At least a real millisecond, so that a thread with a repeating timer does not spin when
      // the clock is not compressed into real time at all.
      auto real = std::max<std::chrono::microseconds>(clock::RealDuration(static_cast<DWORD>(nextDue - now)),
                                                      kTimerRealMinimum);
      if (S().changed.wait_for(guard, real) == std::cv_status::timeout) {
        ULONGLONG later = clock::Now();
        if (nextDue > later) clock::Advance(static_cast<DWORD>(nextDue - later));
      }
    }
  }
  MyQueue().idle = false;
}

bool HasWork(const Queue& queue) { return !queue.sent.empty() || !queue.posted.empty() || queue.quit; }

Queue& QueueOf(DWORD thread) { return S().queues[thread]; }

}  // namespace

// The calling thread's queue; the lock is held.
Queue& MyQueue() {
  DWORD me = CurrentThreadId();
  t_queueOwner.thread = me;
  return QueueOf(me);
}

LRESULT Call(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = ProcOf(handle);
  return proc ? proc(handle, message, wParam, lParam) : 0;
}

void WakeAll() {
  std::lock_guard<std::mutex> guard(S().lock);
  S().changed.notify_all();
}

void PumpUntil(const std::function<bool()>& done, bool dispatch) {
  std::unique_lock<std::mutex> guard(S().lock);
  while (!done()) {
    if (ServeOneSent(guard)) continue;
    ULONGLONG nextDue = ~0ull;
    MSG msg;
    if (dispatch && Take(guard, &msg, nullptr, 0, 0, false, &nextDue) && msg.message != WM_QUIT) {
      if (!Take(guard, &msg, nullptr, 0, 0, true, &nextDue)) continue;
      if (msg.message == WM_QUIT) {
        MyQueue().quit = true;  // left for the thread's own loop
        continue;
      }
      guard.unlock();
      DispatchMessageW(&msg);
      guard.lock();
      continue;
    }
    if (done()) break;
    WaitForWork(guard, dispatch ? nextDue : ~0ull);
  }
}

}  // namespace win

namespace windows {

bool WaitUntilIdle(HWND window, DWORD realMilliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMilliseconds);
  std::unique_lock<std::mutex> guard(win::S().lock);
  for (;;) {
    auto w = win::Find(window);
    if (!w) return false;
    auto it = win::S().queues.find(w->thread);
    if (it != win::S().queues.end() && it->second.idle && !win::HasWork(it->second)) return true;
    if (win::S().observers.wait_until(guard, deadline) == std::cv_status::timeout) return false;
  }
}

}  // namespace windows
}  // namespace host

using host::win::Find;
using host::win::S;

BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  HOST_ENTER("GetMessageW", -1);
  if (!msg) {
    SetLastError(ERROR_NOACCESS);
    return -1;
  }
  std::unique_lock<std::mutex> guard(S().lock);
  if (window && window != reinterpret_cast<HWND>(-1) && !Find(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  for (;;) {
    ULONGLONG nextDue = ~0ull;
    if (host::win::Take(guard, msg, window, filterMin, filterMax, true, &nextDue)) {
      return msg->message == WM_QUIT ? FALSE : TRUE;
    }
    host::win::WaitForWork(guard, nextDue);
  }
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  HOST_ENTER("PeekMessageW", FALSE);
  if (!msg) return FALSE;
  std::unique_lock<std::mutex> guard(S().lock);
  ULONGLONG nextDue;
  return host::win::Take(guard, msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, &nextDue) ? TRUE
                                                                                                           : FALSE;
}

// No character messages are made: the host has no keyboard layout.
BOOL WINAPI TranslateMessage(const MSG* msg) { return FALSE; }

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  if (!msg->hwnd) return 0;
  {
    std::lock_guard<std::mutex> guard(S().lock);
    auto w = Find(msg->hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->thread != host::CurrentThreadId()) {
      SetLastError(ERROR_MESSAGE_SYNC_ONLY);
      return 0;
    }
  }
  // A window procedure that leaves WM_PAINT unvalidated is asked again, as on Windows; the
  // default handling validates.
  return host::win::Call(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

namespace {

BOOL PostTo(DWORD thread, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  host::win::Queue& queue = host::win::QueueOf(thread);
  if (queue.posted.size() >= host::win::kQueueLimit) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  queue.posted.push_back(host::win::MakeMsg(window, message, wParam, lParam));
  S().changed.notify_all();
  return TRUE;
}

}  // namespace

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HOST_ENTER("PostMessageW", FALSE);
  std::lock_guard<std::mutex> guard(S().lock);
  if (!window) {
    host::win::MyQueue();
    return PostTo(host::CurrentThreadId(), nullptr, message, wParam, lParam);
  }
  auto w = Find(window);
  if (host::win::BadWindow(w)) return FALSE;
  return PostTo(w->thread, window, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
  std::lock_guard<std::mutex> guard(S().lock);
  host::win::Queue& queue = host::win::MyQueue();
  queue.quit = true;
  queue.quitCode = exitCode;
  S().changed.notify_all();
}

// A message to a window of another thread waits until that thread serves it inside one of its
// message retrievals (GetMessageW, PeekMessageW, a modal loop, or its own SendMessageW); the
// sender meanwhile serves messages sent to it, so two threads sending to each other do not block.
// As on Windows, a receiver that never retrieves messages keeps the sender waiting.
LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HOST_ENTER("SendMessageW", 0);
  std::unique_lock<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return 0;
  DWORD me = host::CurrentThreadId();
  if (w->thread == me) {
    WNDPROC proc = w->proc;
    guard.unlock();
    return proc(window, message, wParam, lParam);
  }
  auto sent = std::make_shared<host::win::Sent>();
  sent->window = window;
  sent->message = message;
  sent->wParam = wParam;
  sent->lParam = lParam;
  host::win::QueueOf(w->thread).sent.push_back(sent);
  S().changed.notify_all();
  while (!sent->done) {
    if (host::win::ServeOneSent(guard)) continue;
    S().changed.wait(guard);
  }
  return sent->result;
}
