// A modal dialog run from a dialog resource, on plain user32. The object travels with its window
// (DWLP_USER), and the dialog procedure hands each message to one virtual handler:
//
//   WM_INITDIALOG     -> OnInitDialog        WM_TIMER  -> OnTimer
//   WM_COMMAND        -> OnCommand           WM_PAINT  -> OnPaint
//   WM_QUERYDRAGICON  -> OnQueryDragIcon     WM_DESTROY -> OnDestroy
//   WM_DPICHANGED     -> OnDpiChanged
//   WM_USER and above -> OnUserMessage
//
// A handler that returns false leaves the message to the system's default dialog handling.
#pragma once

#include "platform/win32.h"

namespace ui {

class Dialog {
 public:
  Dialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Creates the dialog from its resource in the program's module and runs it until EndDialog;
  // returns the result given to EndDialog, or -1 when the dialog could not be created.
  INT_PTR DoModal();

  // The dialog's window while it runs, else null.
  HWND GetSafeHwnd() const { return hwnd_; }

  // Ends the modal loop with `result`.
  void EndDialog(INT_PTR result);

 protected:
  // After the window and its controls exist. Return TRUE to let the system set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // Buttons and other controls. By default OK and Cancel end the dialog with their identifier.
  virtual bool OnCommand(WORD id, WORD notifyCode, HWND control);
  virtual bool OnTimer(UINT_PTR timerId) { return false; }
  virtual bool OnPaint() { return false; }
  virtual HICON OnQueryDragIcon() { return nullptr; }
  virtual void OnDestroy() {}
  // The window moved to a display of another DPI (`dpi`); `suggested` is the window rectangle
  // the system proposes for it. Return false to leave the dialog manager its own rescaling of
  // the dialog and its controls.
  virtual bool OnDpiChanged(int dpi, const RECT& suggested) { return false; }
  // Messages from WM_USER on; `result` is the value the sender receives.
  virtual bool OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) { return false; }

  HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }
  void SetDlgItemText(int id, const wchar_t* text) const { ::SetDlgItemTextW(hwnd_, id, text); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND parent_;
  HWND hwnd_ = nullptr;
};

}  // namespace ui
