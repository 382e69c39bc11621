// The simulated machine's services, for tests. A fresh machine has one service, "Spooler",
// running. A test can take it away, put it into any state, and script what it reports after a
// stop control or a start: a sequence of statuses, each lasting a span of host-clock time.
#pragma once

#include <string>
#include <vector>

#include "winhost/base.h"
#include "winhost/winsvc.h"

namespace host {
namespace services {

// One status the service reports, for `durationMs` of host-clock time (INFINITE: from then on).
struct Phase {
  DWORD state;
  DWORD checkPoint = 0;
  DWORD waitHint = 0;
  DWORD durationMs = INFINITE;
};

// Takes a service away: opening it then fails with ERROR_SERVICE_DOES_NOT_EXIST.
void RemoveService(const std::wstring& name);
// Puts a service into a state at once (ends a scripted transition).
void SetState(const std::wstring& name, DWORD state);
// The statuses the service reports after a stop control / after a start. The last phase is
// where the service stays. Default stop: stop pending (check point 1, hint 3000 ms) for
// 500 ms, then stopped; default start: start pending (check point 1, hint 2000 ms) for
// 300 ms, then running.
void ScriptStop(const std::wstring& name, std::vector<Phase> phases);
void ScriptStart(const std::wstring& name, std::vector<Phase> phases);
// Marks the service disabled: StartServiceW fails with ERROR_SERVICE_DISABLED.
void SetDisabled(const std::wstring& name, bool disabled);

// The status the service reports now.
SERVICE_STATUS StatusOf(const std::wstring& name);
// Stop controls and starts the service has received since the machine was reset.
int StopCount(const std::wstring& name);
int StartCount(const std::wstring& name);

// Whether the caller runs with administrator rights (default yes). Without them the manager
// grants connect, enumerate and query-lock-status only, and a service its read rights, so
// asking for more fails with ERROR_ACCESS_DENIED.
void SetAdministrator(bool administrator);
// The system is shutting down: stop controls and starts fail with ERROR_SHUTDOWN_IN_PROGRESS.
void SetShuttingDown(bool shuttingDown);

}  // namespace services
}  // namespace host
