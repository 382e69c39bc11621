#include "host/clock.h"

#include <ctime>
#include <mutex>
#include <thread>

#include "host/machine.h"
#include "winhost/kernel.h"

namespace host {
namespace clock {
namespace {

// GetTickCount of a fresh machine: about 12 days of uptime, a value with no special meaning.
constexpr ULONGLONG kTickBase = 1000000000ull;

struct ClockState {
  std::mutex lock;
  ULONGLONG now = 0;
  bool frozen = false;
  double compression = 1000.0;
  std::chrono::microseconds minimumObjectWait{0};
  std::vector<Wait> waits;
  SYSTEMTIME start{};
};

ClockState& State() {
  static ClockState* state = new ClockState;
  return *state;
}

SYSTEMTIME DefaultStart() {
  SYSTEMTIME t{};
  t.wYear = 2026;
  t.wMonth = 3;
  t.wDay = 9;
  t.wDayOfWeek = 1;
  t.wHour = 14;
  t.wMinute = 5;
  t.wSecond = 7;
  t.wMilliseconds = 42;
  return t;
}

}  // namespace

ULONGLONG Now() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().now;
}

void Advance(DWORD milliseconds) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (!State().frozen) State().now += milliseconds;
}

void Freeze() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().frozen = true;
}

void Thaw() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().frozen = false;
}

bool Frozen() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().frozen;
}

void Step(DWORD milliseconds) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().now += milliseconds;
}

void SetCompression(double factor) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().compression = factor;
}

std::chrono::microseconds RealDuration(DWORD milliseconds) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (State().compression <= 0) return std::chrono::microseconds(0);
  return std::chrono::microseconds(static_cast<long long>(milliseconds * 1000.0 / State().compression));
}

void SetMinimumObjectWait(std::chrono::milliseconds floor) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().minimumObjectWait = floor;
}

std::chrono::microseconds MinimumObjectWait() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().minimumObjectWait;
}

void RecordWait(const char* api, DWORD milliseconds) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().waits.push_back(Wait{api, milliseconds});
}

std::vector<Wait> Waits() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().waits;
}

std::vector<DWORD> WaitsOf(const std::string& api) {
  std::vector<DWORD> result;
  for (const Wait& wait : Waits()) {
    if (wait.api == api) result.push_back(wait.milliseconds);
  }
  return result;
}

void ClearWaits() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().waits.clear();
}

void SetLocalTime(const SYSTEMTIME& start) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().start = start;
}

void Reset() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().now = 0;
  State().frozen = false;
  State().compression = 1000.0;
  State().minimumObjectWait = std::chrono::microseconds(0);
  State().waits.clear();
  State().start = DefaultStart();
}

SYSTEMTIME LocalTimeNow() {
  SYSTEMTIME start;
  ULONGLONG now;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    start = State().start;
    now = State().now;
  }
  std::tm tm{};
  tm.tm_year = start.wYear - 1900;
  tm.tm_mon = start.wMonth - 1;
  tm.tm_mday = start.wDay;
  tm.tm_hour = start.wHour;
  tm.tm_min = start.wMinute;
  tm.tm_sec = start.wSecond;
  ULONGLONG totalMs = static_cast<ULONGLONG>(timegm(&tm)) * 1000ull + start.wMilliseconds + now;
  std::time_t seconds = static_cast<std::time_t>(totalMs / 1000ull);
  std::tm out{};
  gmtime_r(&seconds, &out);
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(out.tm_year + 1900);
  t.wMonth = static_cast<WORD>(out.tm_mon + 1);
  t.wDayOfWeek = static_cast<WORD>(out.tm_wday);
  t.wDay = static_cast<WORD>(out.tm_mday);
  t.wHour = static_cast<WORD>(out.tm_hour);
  t.wMinute = static_cast<WORD>(out.tm_min);
  t.wSecond = static_cast<WORD>(out.tm_sec);
  t.wMilliseconds = static_cast<WORD>(totalMs % 1000ull);
  return t;
}

}  // namespace clock
}  // namespace host

void WINAPI Sleep(DWORD milliseconds) {
  host::clock::RecordWait("Sleep", milliseconds);
  // No time passes on a stopped clock, so no sleep can end.
  while (milliseconds != 0 && host::clock::Frozen()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto real = host::clock::RealDuration(milliseconds);
  if (real.count() > 0) {
    std::this_thread::sleep_for(real);
  } else {
    std::this_thread::yield();
  }
  host::clock::Advance(milliseconds);
}

DWORD WINAPI GetTickCount() {
  return static_cast<DWORD>(host::clock::kTickBase + host::clock::Now());
}

ULONGLONG WINAPI GetTickCount64() { return host::clock::kTickBase + host::clock::Now(); }

void WINAPI GetLocalTime(LPSYSTEMTIME time) {
  if (time) *time = host::clock::LocalTimeNow();
}
