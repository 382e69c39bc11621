// Critical sections, on a recursive mutex kept inside the caller's CRITICAL_SECTION.
#include <atomic>
#include <mutex>
#include <new>

#include "host/machine.h"
#include "winhost/kernel.h"

namespace {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque),
              "CRITICAL_SECTION must hold a recursive mutex");

std::recursive_mutex* MutexOf(LPCRITICAL_SECTION cs) {
  return std::launder(reinterpret_cast<std::recursive_mutex*>(cs->opaque));
}

std::atomic<int> g_waitingToEnter{0};

}  // namespace

int host::ThreadsWaitingToEnter() { return g_waitingToEnter.load(); }

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) { new (cs->opaque) std::recursive_mutex(); }

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
  if (MutexOf(cs)->try_lock()) return;
  ++g_waitingToEnter;
  MutexOf(cs)->lock();
  --g_waitingToEnter;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) { MutexOf(cs)->unlock(); }

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) { MutexOf(cs)->~recursive_mutex(); }
