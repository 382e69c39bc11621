// The service control manager of the simulated machine: services with a state that moves
// through scripted phases on the host clock, and the manager and service handles the program
// opens (counted in the leak check).
#include "host/services.h"

#include <cwchar>
#include <map>
#include <mutex>
#include <stdexcept>

#include "handle_table.h"
#include "host/clock.h"
#include "host/machine.h"
#include "internal.h"
#include "winhost/fileio.h"
#include "winhost/kernel.h"

namespace host {
namespace services {
namespace {

using Phases = std::vector<Phase>;

Phases DefaultStopScript() {
  return {Phase{SERVICE_STOP_PENDING, 1, 3000, 500}, Phase{SERVICE_STOPPED}};
}

Phases DefaultStartScript() {
  return {Phase{SERVICE_START_PENDING, 1, 2000, 300}, Phase{SERVICE_RUNNING}};
}

struct Service {
  std::wstring name;
  Phase settled;          // the status outside a transition
  Phases transition;      // phases of a stop or start in progress (empty: none)
  ULONGLONG transitionStart = 0;
  Phases stopScript = DefaultStopScript();
  Phases startScript = DefaultStartScript();
  bool disabled = false;
  int stops = 0;
  int starts = 0;

  // The phase the service is in now; a transition that has run through its phases settles
  // in its last one.
  const Phase& Current() {
    if (transition.empty()) return settled;
    ULONGLONG elapsed = clock::Now() - transitionStart;
    for (size_t i = 0; i + 1 < transition.size(); ++i) {
      const Phase& phase = transition[i];
      if (phase.durationMs == INFINITE || elapsed < phase.durationMs) return phase;
      elapsed -= phase.durationMs;
    }
    settled = transition.back();
    transition.clear();
    return settled;
  }

  void Begin(const Phases& script) {
    transition = script;
    transitionStart = clock::Now();
    if (transition.empty()) transition.push_back(settled);
  }

  SERVICE_STATUS Status() {
    const Phase& phase = Current();
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = phase.state;
    status.dwControlsAccepted = phase.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwCheckPoint = phase.checkPoint;
    status.dwWaitHint = phase.waitHint;
    return status;
  }
};

enum class Kind { Manager, Service };

struct HandleEntry {
  Kind kind;
  DWORD access;
  std::wstring service;  // upper-case name, for service handles
};

struct ScmState {
  std::mutex lock;
  std::map<std::wstring, Service> services;  // by upper-case name
  HandleTable<HandleEntry> handles{"service handle", 0x5C0000, 4};
  bool administrator = true;
  bool shuttingDown = false;
};

ScmState& State() {
  static ScmState* state = new ScmState;
  return *state;
}

void AddLocked(const std::wstring& name, DWORD state) {
  Service service;
  service.name = name;
  service.settled = Phase{state};
  State().services[UpperName(name)] = std::move(service);
}

void ResetServices() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().services.clear();
  State().handles.Clear(true);
  State().administrator = true;
  State().shuttingDown = false;
  AddLocked(L"Spooler", SERVICE_RUNNING);
}

std::vector<std::string> ListOpenHandles() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().handles.List([](const HandleEntry& entry) -> std::string {
    if (entry.kind == Kind::Manager) return "";
    auto service = State().services.find(entry.service);
    std::wstring name = service == State().services.end() ? entry.service : service->second.name;
    return "(\"" + Utf8Of(name) + "\")";
  });
}

const bool g_registered = [] {
  RegisterArea(Area{"services", ResetServices, ListOpenHandles});
  return true;
}();

Service& Existing(const std::wstring& name) {
  auto it = State().services.find(UpperName(name));
  if (it == State().services.end()) throw std::logic_error("no service " + Utf8Of(name) + " on the machine");
  return it->second;
}

// Generic rights mapped to specific ones, as the service control manager maps them.
DWORD MapGeneric(DWORD access, DWORD read, DWORD write, DWORD execute, DWORD all) {
  DWORD mapped = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (access & GENERIC_READ) mapped |= read;
  if (access & GENERIC_WRITE) mapped |= write;
  if (access & GENERIC_EXECUTE) mapped |= execute;
  if (access & GENERIC_ALL) mapped |= all;
  return mapped;
}

constexpr DWORD kManagerRead = STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
constexpr DWORD kServiceRead = STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                               SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS;

DWORD ManagerAccess(DWORD desired) {
  return MapGeneric(desired, kManagerRead,
                    STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
                    STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK, SC_MANAGER_ALL_ACCESS);
}

DWORD ServiceAccess(DWORD desired) {
  return MapGeneric(desired, kServiceRead, STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG,
                    STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                        SERVICE_USER_DEFINED_CONTROL,
                    SERVICE_ALL_ACCESS);
}

// Grants `desired` (already mapped) out of what the caller may have; 0 with `*denied` set
// when it asks for more. MAXIMUM_ALLOWED grants all the caller may have.
DWORD Grant(DWORD requested, DWORD mapped, DWORD all, DWORD forUsers, bool* denied) {
  DWORD allowed = State().administrator ? all : forUsers;
  *denied = false;
  if (requested & MAXIMUM_ALLOWED) return allowed;
  if (mapped & ~allowed) {
    *denied = true;
    return 0;
  }
  return mapped;
}

SC_HANDLE NewHandleLocked(HandleEntry entry) {
  const char* kind = entry.kind == Kind::Manager ? "service control manager handle" : nullptr;
  return reinterpret_cast<SC_HANDLE>(State().handles.Add(std::move(entry), kind));
}

HandleEntry* EntryOf(SC_HANDLE handle, Kind kind) {
  HandleEntry* entry = State().handles.Find(handle);
  return entry && entry->kind == kind ? entry : nullptr;
}

// The service behind a service handle that allows `access`; null with the last error set.
Service* ServiceFor(SC_HANDLE handle, DWORD access) {
  HandleEntry* entry = EntryOf(handle, Kind::Service);
  auto service = entry ? State().services.find(entry->service) : State().services.end();
  if (!entry || service == State().services.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((entry->access & access) != access) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return &service->second;
}

bool ValidServiceName(const std::wstring& name) {
  return !name.empty() && name.size() <= 256 && name.find_first_of(L"\\/") == std::wstring::npos;
}

}  // namespace

void RemoveService(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().services.erase(UpperName(name));
}

void SetState(const std::wstring& name, DWORD state) {
  std::lock_guard<std::mutex> guard(State().lock);
  Service& service = Existing(name);
  service.transition.clear();
  service.settled = Phase{state};
}

void ScriptStop(const std::wstring& name, std::vector<Phase> phases) {
  std::lock_guard<std::mutex> guard(State().lock);
  Existing(name).stopScript = std::move(phases);
}

void ScriptStart(const std::wstring& name, std::vector<Phase> phases) {
  std::lock_guard<std::mutex> guard(State().lock);
  Existing(name).startScript = std::move(phases);
}

void SetDisabled(const std::wstring& name, bool disabled) {
  std::lock_guard<std::mutex> guard(State().lock);
  Existing(name).disabled = disabled;
}

SERVICE_STATUS StatusOf(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  return Existing(name).Status();
}

int StopCount(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  return Existing(name).stops;
}

int StartCount(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  return Existing(name).starts;
}

void SetAdministrator(bool administrator) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().administrator = administrator;
}

void SetShuttingDown(bool shuttingDown) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().shuttingDown = shuttingDown;
}

}  // namespace services
}  // namespace host

namespace scm = host::services;

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
  HOST_ENTER("OpenSCManagerW", nullptr);
  // Only the local machine is reachable; an empty name is the local machine too.
  if (machineName && *machineName) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  if (databaseName && *databaseName) {
    if (std::wcscmp(databaseName, SERVICES_FAILED_DATABASEW) == 0) {
      SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
      return nullptr;
    }
    if (std::wcscmp(databaseName, SERVICES_ACTIVE_DATABASEW) != 0) {
      SetLastError(ERROR_INVALID_NAME);
      return nullptr;
    }
  }
  std::lock_guard<std::mutex> guard(scm::State().lock);
  bool denied;
  // Connect is granted with every manager handle.
  DWORD granted = scm::Grant(desiredAccess, scm::ManagerAccess(desiredAccess) | SC_MANAGER_CONNECT,
                             SC_MANAGER_ALL_ACCESS, SC_MANAGER_CONNECT | scm::kManagerRead, &denied);
  if (denied) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  SC_HANDLE handle = scm::NewHandleLocked(scm::HandleEntry{scm::Kind::Manager, granted, {}});
  SetLastError(0);
  return handle;
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess) {
  HOST_ENTER("OpenServiceW", nullptr);
  std::lock_guard<std::mutex> guard(scm::State().lock);
  if (!scm::EntryOf(manager, scm::Kind::Manager)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!serviceName) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return nullptr;
  }
  if (!scm::ValidServiceName(serviceName)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  std::wstring key = host::UpperName(serviceName);
  if (scm::State().services.count(key) == 0) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  bool denied;
  DWORD granted = scm::Grant(desiredAccess, scm::ServiceAccess(desiredAccess), SERVICE_ALL_ACCESS,
                             scm::kServiceRead | SERVICE_USER_DEFINED_CONTROL, &denied);
  if (denied) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  SC_HANDLE handle = scm::NewHandleLocked(scm::HandleEntry{scm::Kind::Service, granted, key});
  SetLastError(0);
  return handle;
}

BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  HOST_ENTER("ControlService", FALSE);
  DWORD access;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      access = SERVICE_STOP;
      break;
    case SERVICE_CONTROL_INTERROGATE:
      access = SERVICE_INTERROGATE;
      break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      access = SERVICE_PAUSE_CONTINUE;
      break;
    default:
      if (control < 128 || control > 255) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      access = SERVICE_USER_DEFINED_CONTROL;
  }
  std::lock_guard<std::mutex> guard(scm::State().lock);
  scm::Service* entry = scm::ServiceFor(service, access);
  if (!entry) return FALSE;
  if (!status) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  if (control == SERVICE_CONTROL_STOP && scm::State().shuttingDown) {
    SetLastError(ERROR_SHUTDOWN_IN_PROGRESS);
    return FALSE;
  }
  // The status is returned with success and with the three refusals below, not otherwise.
  SERVICE_STATUS now = entry->Status();
  DWORD error = 0;
  if (now.dwCurrentState == SERVICE_STOPPED) {
    error = ERROR_SERVICE_NOT_ACTIVE;
  } else if (now.dwCurrentState == SERVICE_STOP_PENDING ||
             (now.dwCurrentState == SERVICE_START_PENDING && control != SERVICE_CONTROL_STOP)) {
    error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  } else if (control != SERVICE_CONTROL_INTERROGATE && control != SERVICE_CONTROL_STOP) {
    error = ERROR_INVALID_SERVICE_CONTROL;
  }
  if (error) {
    *status = now;
    SetLastError(error);
    return FALSE;
  }
  if (control == SERVICE_CONTROL_STOP) {
    ++entry->stops;
    entry->Begin(entry->stopScript);
  }
  *status = entry->Status();
  SetLastError(0);
  return TRUE;
}

BOOL WINAPI StartServiceW(SC_HANDLE service, DWORD, LPCWSTR*) {
  HOST_ENTER("StartServiceW", FALSE);
  std::lock_guard<std::mutex> guard(scm::State().lock);
  scm::Service* entry = scm::ServiceFor(service, SERVICE_START);
  if (!entry) return FALSE;
  DWORD error = 0;
  if (entry->disabled) {
    error = ERROR_SERVICE_DISABLED;
  } else if (scm::State().shuttingDown) {
    error = ERROR_SHUTDOWN_IN_PROGRESS;
  } else if (entry->Status().dwCurrentState != SERVICE_STOPPED) {
    error = ERROR_SERVICE_ALREADY_RUNNING;
  }
  if (error) {
    SetLastError(error);
    return FALSE;
  }
  ++entry->starts;
  entry->Begin(entry->startScript);
  SetLastError(0);
  return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  HOST_ENTER("QueryServiceStatus", FALSE);
  std::lock_guard<std::mutex> guard(scm::State().lock);
  scm::Service* entry = scm::ServiceFor(service, SERVICE_QUERY_STATUS);
  if (!entry) return FALSE;
  if (!status) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  *status = entry->Status();
  return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
  HOST_ENTER("CloseServiceHandle", FALSE);
  std::lock_guard<std::mutex> guard(scm::State().lock);
  if (!scm::State().handles.Remove(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
