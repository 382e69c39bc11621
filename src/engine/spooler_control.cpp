#include "engine/spooler_control.h"

#include <algorithm>

#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace {

const wchar_t kSpoolerName[] = L"Spooler";

constexpr DWORD kStopAccess = SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE;     // 0xA4
constexpr DWORD kStartAccess = SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE;   // 0x94

// How a wait for a pending state polls: a fraction of the service's wait hint, within bounds.
struct PollRule {
  DWORD pendingState;
  DWORD hintDivisor;
  DWORD minimumMs;
  DWORD maximumMs;
};

constexpr PollRule kStopPoll = {SERVICE_STOP_PENDING, 10, 1000, 10000};
constexpr PollRule kStartPoll = {SERVICE_START_PENDING, 100, 100, 1000};

// Polls while the service is in the rule's pending state. The wait ends when the state
// changes, a query fails, or the check point has not advanced for longer than the wait hint.
// Returns the last state seen.
DWORD WaitWhilePending(SC_HANDLE service, SERVICE_STATUS status, const PollRule& rule) {
  DWORD startTick = GetTickCount();
  DWORD oldCheckPoint = status.dwCheckPoint;
  while (status.dwCurrentState == rule.pendingState) {
    DWORD wait = std::clamp(status.dwWaitHint / rule.hintDivisor, rule.minimumMs, rule.maximumMs);
    Sleep(wait);
    if (!QueryServiceStatus(service, &status)) break;
    if (status.dwCheckPoint > oldCheckPoint) {
      startTick = GetTickCount();
      oldCheckPoint = status.dwCheckPoint;
    } else if (GetTickCount() - startTick > status.dwWaitHint) {
      break;
    }
  }
  return status.dwCurrentState;
}

// Opens the manager and the spooler service. Returns 1 with `service` open, or the result of
// the operation when it ends here: 1 when the machine has no spooler, 0 on another failure.
int OpenSpooler(DWORD access, platform::UniqueServiceHandle& manager, platform::UniqueServiceHandle& service) {
  manager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return 0;
  service.reset(OpenServiceW(manager.get(), kSpoolerName, access));
  if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 1 : 0;
  return 1;
}

}  // namespace

int StopSpoolerService() {
  platform::UniqueServiceHandle manager;
  platform::UniqueServiceHandle service;
  int opened = OpenSpooler(kStopAccess, manager, service);
  if (!service) return opened;

  SERVICE_STATUS status{};
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    DWORD error = GetLastError();
    return error == ERROR_SERVICE_NOT_ACTIVE || error == ERROR_SHUTDOWN_IN_PROGRESS ? 1 : 0;
  }
  if (!QueryServiceStatus(service.get(), &status)) return 0;
  return WaitWhilePending(service.get(), status, kStopPoll) == SERVICE_STOPPED ? 1 : 0;
}

int StartSpoolerService() {
  platform::UniqueServiceHandle manager;
  platform::UniqueServiceHandle service;
  int opened = OpenSpooler(kStartAccess, manager, service);
  if (!service) return opened;

  if (!StartServiceW(service.get(), 0, nullptr)) {
    return GetLastError() == ERROR_SERVICE_ALREADY_RUNNING ? 1 : 0;
  }
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.get(), &status)) return 0;
  return WaitWhilePending(service.get(), status, kStartPoll) == SERVICE_RUNNING ? 1 : 0;
}
