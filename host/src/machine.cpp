#include "host/machine.h"

#include <atomic>
#include <map>
#include <mutex>

#include "host/clock.h"
#include "internal.h"
#include "winhost/kernel.h"

namespace host {
namespace {

struct Fault {
  DWORD error;
  int skip;
  int times;  // < 0: always
};

struct MachineState {
  std::mutex lock;
  std::vector<Area> areas;
  std::map<std::string, std::vector<Fault>> faults;
  std::map<std::string, int> calls;
};

MachineState& State() {
  static MachineState* state = new MachineState;  // lives as long as the process
  return *state;
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
  std::lock_guard<std::mutex> guard(State().lock);
  State().faults[api].push_back(Fault{error, skip, times});
}

void FailCallAlways(const std::string& api, DWORD error) { FailCall(api, error, -1, 0); }

void ClearFaults() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().faults.clear();
}

int CallCount(const std::string& api) {
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
