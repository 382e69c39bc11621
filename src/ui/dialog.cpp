#include "ui/dialog.h"

namespace ui {

INT_PTR Dialog::DoModal() {
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent_, &Dialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
  if (hwnd_) ::EndDialog(hwnd_, result);
}

bool Dialog::OnCommand(WORD id, WORD notifyCode, HWND control) {
  if (id == IDOK || id == IDCANCEL) {
    EndDialog(id);
    return true;
  }
  return false;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    // The object comes with the creation parameter and stays with the window from here on.
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    reinterpret_cast<Dialog*>(lParam)->hwnd_ = hwnd;
  }
  auto* dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  // Messages sent during creation, before WM_INITDIALOG, have no object yet.
  if (!dialog) return FALSE;
  return dialog->Dispatch(message, wParam, lParam);
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_TIMER:
      return OnTimer(static_cast<UINT_PTR>(wParam)) ? TRUE : FALSE;
    case WM_PAINT:
      return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      // One of the messages whose dialog-procedure result is the answer itself.
      return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    case WM_DPICHANGED:
      return OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)) ? TRUE : FALSE;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
      hwnd_ = nullptr;
      return FALSE;
    default:
      break;
  }
  if (message >= WM_USER && message < 0x8000) {
    LRESULT result = 0;
    if (!OnUserMessage(message, wParam, lParam, result)) return FALSE;
    ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
  }
  return FALSE;
}

}  // namespace ui
