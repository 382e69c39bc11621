#include "cli/interrupt.h"

#include "diag/diag_log.h"
#include "platform/critical_section.h"
#include "platform/win32.h"

namespace {

struct InterruptState {
  platform::CriticalSection lock;
  ConsoleOutput* output = nullptr;
  bool stopRequested = false;
  bool burning = false;
};

InterruptState& State() {
  static InterruptState state;
  return state;
}

BOOL WINAPI OnConsoleControl(DWORD ctrlType) {
  if (ctrlType != CTRL_C_EVENT && ctrlType != CTRL_BREAK_EVENT) return FALSE;  // closing: the default
  platform::Lock guard(State().lock);
  if (!State().output) return TRUE;
  if (State().burning) {
    // The burn finishes; the run stops after it.
    DiagLog::Write(L"Interrupt refused: a firmware burn is in progress");
    State().output->Err("A firmware burn is in progress and cannot be interrupted: interrupting it can leave the "
                        "printer without firmware. The burn goes on; no further printer will be updated after it.\n");
  } else if (!State().stopRequested) {
    DiagLog::Write(L"Interrupt: stopping before the next burn");
    State().output->Err("Stopping: no further printer will be updated.\n");
  }
  State().stopRequested = true;
  return TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard(ConsoleOutput& output) {
  {
    platform::Lock guard(State().lock);
    State().output = &output;
    State().stopRequested = false;
    State().burning = false;
  }
  if (!::SetConsoleCtrlHandler(&OnConsoleControl, TRUE)) {
    DiagLog::WriteError(::GetLastError(), L"SetConsoleCtrlHandler");
  }
}

InterruptGuard::~InterruptGuard() {
  ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
  platform::Lock guard(State().lock);
  State().output = nullptr;
}

bool InterruptGuard::StopRequested() const {
  platform::Lock guard(State().lock);
  return State().stopRequested;
}

bool InterruptGuard::BeginBurn() {
  platform::Lock guard(State().lock);
  if (State().stopRequested) return false;
  State().burning = true;
  return true;
}

void InterruptGuard::EndBurn() {
  platform::Lock guard(State().lock);
  State().burning = false;
}
