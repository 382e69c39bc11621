// The host clock. Every wait the program asks for (Sleep, waits on objects, socket time-outs)
// runs on it: virtual time advances by the wait, and real time only by the wait divided by the
// compression factor, so a 120 s time-out costs milliseconds. Tests read back the waits.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "winhost/base.h"

namespace host {

struct Wait {
  std::string api;  // "Sleep", "WaitForSingleObject", ...
  DWORD milliseconds;
};

namespace clock {

// Virtual milliseconds since the machine started (GetTickCount adds its base to this).
ULONGLONG Now();
void Advance(DWORD milliseconds);

// Stops the clock, so that a test can look at a window between its timer's ticks, or lets it
// run again. While it stands the program's waits do not move it (Advance does nothing): no
// timer comes due, Sleep waits until the clock runs again, and WaitForSingleObject with a
// time-out until then or until its object is signalled. Step moves a stopped clock on.
void Freeze();
void Thaw();
bool Frozen();
void Step(DWORD milliseconds);

// Real time a virtual wait of `milliseconds` takes. Compression 0 means no real waiting.
void SetCompression(double factor);
std::chrono::microseconds RealDuration(DWORD milliseconds);

// WaitForSingleObject with a time-out waits at least this much real time for its object before
// the time-out ends (default 0): a thread that signals as soon as it can, such as a new window's
// thread, must not lose against a compressed time-out on a loaded machine. The host clock still
// advances by the whole time-out.
void SetMinimumObjectWait(std::chrono::milliseconds floor);
std::chrono::microseconds MinimumObjectWait();

void RecordWait(const char* api, DWORD milliseconds);
std::vector<Wait> Waits();
// Only the waits of one call, e.g. WaitsOf("Sleep").
std::vector<DWORD> WaitsOf(const std::string& api);
void ClearWaits();

// The local time at the machine's start; GetLocalTime adds the virtual time elapsed since.
void SetLocalTime(const SYSTEMTIME& start);

void Reset();

}  // namespace clock
}  // namespace host
