// Shared by the window manager, the dialog manager and the controls of the simulated host.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "winhost/commctrl.h"
#include "winhost/user32.h"

namespace host {
namespace win {

// What a control class keeps besides the window's own state (list view rows, bar position).
struct ControlState {
  virtual ~ControlState() = default;
};


struct CreateParams {
  std::wstring className;
  std::wstring text;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};  // in the parent's client coordinates (the screen for a top-level window)
  bool clientSize = false;  // `rect` gives the client area: the window grows by its frame
  bool center = false;      // the window goes to the middle of the screen
  HWND parent = nullptr;
  LONG_PTR id = 0;
  HINSTANCE instance = nullptr;
  bool dialog = false;
  DLGPROC dialogProc = nullptr;
  int baseX = 0;  // dialog base units (dialogs only)
  int baseY = 0;
};

// Creates a window of a known class on the calling thread; null with ERROR_CANNOT_FIND_WND_CLASS
// for an unknown class. The window's state is set up before the call returns; no message is sent.
HWND CreateWindowOf(const CreateParams& params);

// The class procedure of a class name (case-insensitive), or null.
WNDPROC ProcOfClass(const std::wstring& className);

// The control state of a window, made on first use by `make`.
template <typename T>
std::shared_ptr<T> ControlOf(HWND window);
std::shared_ptr<ControlState> ControlStateOf(HWND window, std::shared_ptr<ControlState> (*make)());

// Dialog state kept by the window manager for the dialog manager.
bool IsDialogWindow(HWND window);
DLGPROC DialogProcOf(HWND window);
void SetDialogEnded(HWND window, INT_PTR result);
bool DialogEnded(HWND window, INT_PTR* result);
void DialogBaseUnits(HWND window, int* baseX, int* baseY);
std::vector<HWND> ChildrenOf(HWND window);
std::wstring ClassNameOf(HWND window);
DWORD StyleOf(HWND window);
// Keeps the calling thread's messages going until `done` says so: sent messages are served, and
// with `dispatch` posted messages, paints and timers are dispatched as a modal loop does.
// `done` is called with the window manager's lock held: it reads a flag and calls nothing; who
// sets the flag calls WakeAll afterwards.
void PumpUntil(const std::function<bool()>& done, bool dispatch);
// Wakes every thread waiting for messages (a state that may end a wait has changed).
void WakeAll();

// Handles of the system's icons and cursors: a base plus the resource identifier (IDI_*, IDC_*).
constexpr uintptr_t kSystemIconBase = 0x10000;
constexpr uintptr_t kSystemCursorBase = 0x30000;

// Class procedures of the controls.
LRESULT ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DialogClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

template <typename T>
std::shared_ptr<T> ControlOf(HWND window) {
  return std::static_pointer_cast<T>(
      ControlStateOf(window, [] { return std::static_pointer_cast<ControlState>(std::make_shared<T>()); }));
}

}  // namespace win
}  // namespace host
