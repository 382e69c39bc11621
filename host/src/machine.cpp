#include "host/machine.h"

#include <atomic>
#include <algorithm>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>

#include "host/clock.h"
#include "internal.h"
#include "winhost/kernel.h"

namespace host {
namespace {

struct Fault {
  DWORD error;
  int skip;
  int times;  // < 0: always
  int askedSkip;
  int askedTimes;
  int fired = 0;
  bool mayNotFire = false;
};

// Every name a host source passes to HOST_ENTER or CallFails, sorted (made by the build).
const char* const kEntryPoints[] = {
#include "host_entry_points.inc"
};

// Refuses a name that no host call counts: a fault on it would never fire.
void RequireEntryPoint(const char* what, const std::string& api) {
  if (!std::binary_search(std::begin(kEntryPoints), std::end(kEntryPoints), api,
                          [](const std::string& a, const std::string& b) { return a < b; })) {
    throw std::invalid_argument(std::string(what) + ": the simulated host has no entry point \"" + api + "\"");
  }
}

struct MachineState {
  std::mutex lock;
  std::vector<Area> areas;
  std::map<std::string, std::vector<Fault>> faults;
  std::vector<std::string> clearedUnfired;  // faults ClearFaults took away before they fired
  std::map<std::string, int> calls;
};

MachineState& State() {
  static MachineState* state = new MachineState;  // lives as long as the process
  return *state;
}

// The faults that have not fired, cleared ones included; the caller holds the lock.
std::vector<std::string> UnfiredLocked() {
  std::vector<std::string> unfired = State().clearedUnfired;
  for (const auto& [api, faults] : State().faults) {
    for (const Fault& fault : faults) {
      if (fault.fired > 0 || fault.mayNotFire) continue;
      std::string times = fault.askedTimes < 0 ? "always"
                                               : std::to_string(fault.askedTimes) + (fault.askedTimes == 1 ? " time" : " times");
      unfired.push_back(api + ", error " + std::to_string(fault.error) + " after " + std::to_string(fault.askedSkip) +
                        " calls, " + times);
    }
  }
  return unfired;
}

thread_local DWORD t_threadId = 0;
constexpr DWORD kFirstProcessId = 0x1C8;
thread_local DWORD t_processId = kFirstProcessId;
std::atomic<DWORD> g_nextThreadId{0x1A4};
std::atomic<UINT> g_ansiCodePage{1252};

}  // namespace

void RegisterArea(Area area) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().areas.push_back(std::move(area));
}

void ResetMachine() {
  std::vector<Area> areas;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    State().faults.clear();
    State().clearedUnfired.clear();
    State().calls.clear();
    areas = State().areas;
  }
  g_ansiCodePage = 1252;
  clock::Reset();
  for (const Area& area : areas) {
    if (area.reset) area.reset();
  }
}

std::vector<std::string> OpenResources() {
  std::vector<Area> areas;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    areas = State().areas;
  }
  std::vector<std::string> open;
  for (const Area& area : areas) {
    if (!area.listOpen) continue;
    for (std::string& item : area.listOpen()) open.push_back(area.name + ": " + item);
  }
  return open;
}

void FailCall(const std::string& api, DWORD error, int times, int skip) {
  RequireEntryPoint("FailCall", api);
  std::lock_guard<std::mutex> guard(State().lock);
  State().faults[api].push_back(Fault{error, skip, times, skip, times});
}

void FailCallAlways(const std::string& api, DWORD error) { FailCall(api, error, -1, 0); }

void ClearFaults() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().clearedUnfired = UnfiredLocked();
  State().faults.clear();
}

std::vector<std::string> UnfiredFaults() {
  std::lock_guard<std::mutex> guard(State().lock);
  return UnfiredLocked();
}

void FaultMayNotFire(const std::string& api) {
  std::lock_guard<std::mutex> guard(State().lock);
  for (Fault& fault : State().faults[api]) fault.mayNotFire = true;
}

int CallCount(const std::string& api) {
  RequireEntryPoint("CallCount", api);
  std::lock_guard<std::mutex> guard(State().lock);
  auto it = State().calls.find(api);
  return it == State().calls.end() ? 0 : it->second;
}

bool CallFails(const char* api, DWORD* error) {
  std::lock_guard<std::mutex> guard(State().lock);
  ++State().calls[api];
  auto it = State().faults.find(api);
  if (it == State().faults.end()) return false;
  for (Fault& fault : it->second) {
    if (fault.skip > 0) {
      --fault.skip;
      continue;
    }
    if (fault.times == 0) continue;
    if (fault.times > 0) --fault.times;
    ++fault.fired;
    *error = fault.error;
    return true;
  }
  return false;
}

void SetCurrentThreadId(DWORD id) { t_threadId = id; }

void SetCurrentProcessId(DWORD id) { t_processId = id; }

void SetAnsiCodePage(UINT codePage) { g_ansiCodePage = codePage; }

UINT AnsiCodePage() { return g_ansiCodePage; }

DWORD CurrentThreadId() {
  if (t_threadId == 0) t_threadId = g_nextThreadId.fetch_add(4);
  return t_threadId;
}

}  // namespace host

DWORD WINAPI GetCurrentThreadId() { return host::CurrentThreadId(); }

DWORD WINAPI GetCurrentProcessId() { return host::t_processId; }

HANDLE WINAPI GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

HANDLE WINAPI GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }
