// Test-facing control of the simulated machine's user interface: windows, message boxes, the
// user-interface languages, the common controls, the shell's taskbar list object, the cursor and
// the power requests.
//
// Windows are headless. Dialogs are laid out with fixed dialog base units: a dialog with a font
// (DS_SETFONT) of "MS Shell Dlg" 8 points has 6 x 13 (x: MulDiv(dlu, 6, 4), y: MulDiv(dlu, 13, 8));
// other point sizes scale both numbers by size / 8; a dialog without a font has the system font's
// 8 x 16. A top-level window with a frame has a 3-pixel border and a 23-pixel caption (WS_CAPTION);
// a child has 1 pixel for WS_BORDER and 2 for WS_EX_CLIENTEDGE. The screen is 1920 x 1080.
//
// Leak check: top-level windows still alive, thread timers, threads still running, COM
// initialisations not balanced by CoUninitialize, COM objects not released and message boxes
// still open all count as left open.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "winhost/win32.h"

namespace host {
namespace windows {

// ---- Message boxes ----
struct MessageBoxRecord {
  std::wstring text;
  std::wstring caption;  // as passed (MessageBoxW shows "Error" for a null caption)
  UINT type = 0;         // the flags as passed
  HWND owner = nullptr;
  DWORD threadId = 0;  // the thread that showed the box
  ULONGLONG shownAtMs = 0;
  ULONGLONG closedAtMs = 0;  // host-clock times; closedAtMs is 0 while the box is open
  bool open = true;
  int result = 0;  // the button that closed it
};
// Answers each box: called on a thread of its own while the showing thread runs the box's modal
// loop (its windows keep receiving messages and timers). It may Sleep or advance the clock to
// keep the box open for a while. A fresh machine has the default, which answers IDOK at once.
using MessageBoxResponder = std::function<int(const MessageBoxRecord&)>;
void SetMessageBoxResponder(MessageBoxResponder responder);
// Every box shown since the machine was reset, in the order they were shown.
std::vector<MessageBoxRecord> MessageBoxes();

// ---- Languages: what GetUserDefaultUILanguage, GetSystemDefaultUILanguage,
// GetUserDefaultLangID and GetSystemDefaultLangID report (all 0x0409 on a fresh machine).
void SetUiLanguages(LANGID userUi, LANGID systemUi, LANGID userDefault, LANGID systemDefault);

// ---- Windows ----
// The newest top-level window with exactly this title, waiting up to `realMilliseconds` of real
// time for it to appear; null when none does.
HWND WaitForWindow(const std::wstring& title, DWORD realMilliseconds);
// Waits (real time) until the thread owning `window` is blocked waiting for messages with none
// queued; false on time-out or when the window is gone.
bool WaitUntilIdle(HWND window, DWORD realMilliseconds);

// The resource identifier of the current cursor (SetCursor) when it is a system cursor
// (32514 for IDC_WAIT, 32512 for IDC_ARROW), otherwise 0.
WORD CurrentCursor();

// ---- Common controls: the classes asked for by InitCommonControlsEx so far (0: never called).
DWORD CommonControlClasses();

// ---- Taskbar list (CLSID_TaskbarList): what the program did with its objects.
struct TaskbarListCalls {
  int created = 0;
  int hrInit = 0;
  std::vector<HWND> addedTabs;
  std::vector<HWND> deletedTabs;
};
TaskbarListCalls TaskbarList();
// Makes CoCreateInstance of the taskbar list fail with `hr` (S_OK: created again). A single
// failure can also be injected with FailCall("CoCreateInstance", hr).
void SetTaskbarListFailure(HRESULT hr);

// ---- Power requests: the execution state SetThreadExecutionState left for a thread (0: none).
EXECUTION_STATE ExecutionState(DWORD threadId);

}  // namespace windows
}  // namespace host
