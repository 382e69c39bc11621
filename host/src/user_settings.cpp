// The user-interface and default languages, and the power requests of each thread.
#include <map>
#include <mutex>

#include "host/machine.h"
#include "host/windows.h"
#include "internal.h"
#include "winhost/kernel.h"

namespace host {
namespace windows {
namespace {

constexpr LANGID kEnglishUs = 0x0409;

struct Settings {
  std::mutex lock;
  LANGID userUi = kEnglishUs;
  LANGID systemUi = kEnglishUs;
  LANGID userDefault = kEnglishUs;
  LANGID systemDefault = kEnglishUs;
  std::map<DWORD, EXECUTION_STATE> executionStates;
};

Settings& State() {
  static Settings* state = new Settings;
  return *state;
}

void Reset() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().userUi = State().systemUi = State().userDefault = State().systemDefault = kEnglishUs;
  State().executionStates.clear();
}

const bool g_registered = [] {
  RegisterArea(Area{"user settings", Reset, nullptr});
  return true;
}();

LANGID Read(LANGID Settings::*field) {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().*field;
}

}  // namespace

void SetUiLanguages(LANGID userUi, LANGID systemUi, LANGID userDefault, LANGID systemDefault) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().userUi = userUi;
  State().systemUi = systemUi;
  State().userDefault = userDefault;
  State().systemDefault = systemDefault;
}

EXECUTION_STATE ExecutionState(DWORD threadId) {
  std::lock_guard<std::mutex> guard(State().lock);
  auto it = State().executionStates.find(threadId);
  return it == State().executionStates.end() ? 0 : it->second;
}

}  // namespace windows
}  // namespace host

using host::windows::Settings;

LANGID WINAPI GetUserDefaultUILanguage() { return host::windows::Read(&Settings::userUi); }
LANGID WINAPI GetSystemDefaultUILanguage() { return host::windows::Read(&Settings::systemUi); }
LANGID WINAPI GetUserDefaultLangID() { return host::windows::Read(&Settings::userDefault); }
LANGID WINAPI GetSystemDefaultLangID() { return host::windows::Read(&Settings::systemDefault); }

// A continuous request (ES_CONTINUOUS) stays until the next one; without it the call only resets
// the idle timers and leaves the thread's state alone. Unknown flags fail with 0.
EXECUTION_STATE WINAPI SetThreadExecutionState(EXECUTION_STATE flags) {
  HOST_ENTER("SetThreadExecutionState", 0);
  constexpr EXECUTION_STATE known =
      ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED | ES_USER_PRESENT | ES_AWAYMODE_REQUIRED | ES_CONTINUOUS;
  if (flags & ~known) return 0;
  std::lock_guard<std::mutex> guard(host::windows::State().lock);
  auto& states = host::windows::State().executionStates;
  DWORD me = GetCurrentThreadId();
  auto it = states.find(me);
  EXECUTION_STATE previous = it == states.end() ? ES_CONTINUOUS : it->second;
  if (flags & ES_CONTINUOUS) states[me] = flags;
  return previous;
}
