// The console: control handlers and the standard input's console mode. Windows runs the
// handlers on a new thread of the process when an event arrives, last added first, until one
// returns TRUE; then the default handler ends the process (ExitProcess), which the host
// records instead of ending the test.
#include "host/console.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "host/machine.h"
#include "internal.h"
#include "winhost/console.h"
#include "winhost/kernel.h"

namespace host {
namespace console {
namespace {

// Distinct values, like the console handles Windows hands out; only their identity matters.
const HANDLE kStdHandles[] = {reinterpret_cast<HANDLE>(0x50), reinterpret_cast<HANDLE>(0x54),
                              reinterpret_cast<HANDLE>(0x58)};

struct ConsoleState {
  std::mutex lock;
  std::vector<PHANDLER_ROUTINE> handlers;  // in the order added
  bool ignoreCtrlC = false;
  bool inputIsConsole = false;
  int defaultRuns = 0;
};

ConsoleState& State() {
  static ConsoleState* state = new ConsoleState;
  return *state;
}

void Reset() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().handlers.clear();
  State().ignoreCtrlC = false;
  State().inputIsConsole = false;
  State().defaultRuns = 0;
}

const bool g_registered = [] {
  RegisterArea(Area{"console", Reset, nullptr});
  return true;
}();

}  // namespace

bool SendCtrlEvent(DWORD ctrlType) {
  std::vector<PHANDLER_ROUTINE> handlers;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    if (ctrlType == CTRL_C_EVENT && State().ignoreCtrlC) return true;
    handlers = State().handlers;
  }
  bool handled = false;
  std::thread([&] {
    for (auto it = handlers.rbegin(); it != handlers.rend() && !handled; ++it) handled = (*it)(ctrlType) != FALSE;
  }).join();
  if (!handled) {
    std::lock_guard<std::mutex> guard(State().lock);
    ++State().defaultRuns;
  }
  return handled;
}

int DefaultHandlerRuns() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().defaultRuns;
}

void SetInputIsConsole(bool console) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().inputIsConsole = console;
}

}  // namespace console
}  // namespace host

using host::console::State;

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  HOST_ENTER("SetConsoleCtrlHandler", FALSE);
  std::lock_guard<std::mutex> guard(State().lock);
  if (!handler) {
    State().ignoreCtrlC = add != FALSE;
    return TRUE;
  }
  auto& handlers = State().handlers;
  if (add) {
    handlers.push_back(handler);
    return TRUE;
  }
  // The most recently added registration goes first.
  auto it = std::find(handlers.rbegin(), handlers.rend(), handler);
  if (it == handlers.rend()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  handlers.erase(std::next(it).base());
  return TRUE;
}

HANDLE WINAPI GetStdHandle(DWORD stdHandle) {
  HOST_ENTER("GetStdHandle", INVALID_HANDLE_VALUE);
  switch (stdHandle) {
    case STD_INPUT_HANDLE:
      return host::console::kStdHandles[0];
    case STD_OUTPUT_HANDLE:
      return host::console::kStdHandles[1];
    case STD_ERROR_HANDLE:
      return host::console::kStdHandles[2];
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return INVALID_HANDLE_VALUE;
  }
}

BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode) {
  HOST_ENTER("GetConsoleMode", FALSE);
  bool isConsole = false;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    isConsole = console == host::console::kStdHandles[0] && State().inputIsConsole;
  }
  if (!isConsole) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT | ENABLE_INSERT_MODE |
  // ENABLE_QUICK_EDIT_MODE | ENABLE_EXTENDED_FLAGS: a console window's default input mode.
  *mode = 0x1F7;
  return TRUE;
}
