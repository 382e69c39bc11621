// A thin wrapper of a progress-bar control (a dialog's child window).
#pragma once

#include "platform/win32.h"

namespace ui {

class ProgressBar {
 public:
  void Attach(HWND control) { hwnd_ = control; }
  HWND GetSafeHwnd() const { return hwnd_; }

  void SetRange(WORD lower, WORD upper) const {
    ::SendMessageW(hwnd_, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
  }
  void SetPos(int position) const { ::SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position), 0); }

 private:
  HWND hwnd_ = nullptr;
};

}  // namespace ui
