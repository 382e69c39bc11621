// Timers on the host clock: window and thread timers, due in the thread's message retrieval.
#include <algorithm>

#include "host/clock.h"
#include "host/machine.h"
#include "internal.h"
#include "window_manager.h"
#include "winhost/kernel.h"

namespace {

constexpr UINT kTimerMinimum = 10;  // USER_TIMER_MINIMUM

}  // namespace

using host::win::Find;
using host::win::S;

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  HOST_ENTER("SetTimer", 0);
  std::lock_guard<std::mutex> guard(S().lock);
  // A window's timer is its thread's, whichever thread of the process sets it.
  DWORD owner = host::CurrentThreadId();
  if (window) {
    auto w = Find(window);
    if (host::win::BadWindow(w)) return 0;
    if (w->process != GetCurrentProcessId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
    owner = w->thread;
  }
  host::win::MyQueue();
  UINT period = std::max(elapse, kTimerMinimum);
  if (period > 0x7FFFFFFF) period = 0x7FFFFFFF;
  auto& timers = S().timers;
  if (!window) {
    // Thread timers: `id` names an existing timer to replace, or a new identifier is chosen.
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const host::win::Timer& t) { return !t.window && t.id == id && t.thread == owner; });
    if (id == 0 || it == timers.end()) id = S().nextThreadTimer++;
  }
  auto same = [&](const host::win::Timer& t) { return t.window == window && t.id == id && t.thread == owner; };
  timers.erase(std::remove_if(timers.begin(), timers.end(), same), timers.end());
  timers.push_back(host::win::Timer{window, id, period, timerProc, owner, host::clock::Now() + period});
  S().changed.notify_all();
  return window ? (id ? id : 1) : id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  HOST_ENTER("KillTimer", FALSE);
  std::lock_guard<std::mutex> guard(S().lock);
  DWORD me = host::CurrentThreadId();
  auto& timers = S().timers;
  auto it = std::find_if(timers.begin(), timers.end(), [&](const host::win::Timer& t) {
    return t.window == window && t.id == id && (window || t.thread == me);
  });
  if (it == timers.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  timers.erase(it);
  return TRUE;
}
