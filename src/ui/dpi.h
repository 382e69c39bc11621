// The DPI a window is shown at, for sizes the program gives in pixels: they are meant at 96 DPI
// (100 %) and grow with the display's scaling as the dialog units do.
#pragma once

#include "platform/win32.h"

namespace ui {

constexpr int kDefaultDpi = 96;

// GetDpiForWindow where user32 has it (Windows 10 1607 and later), else the screen's LOGPIXELSX,
// else 96.
int WindowDpi(HWND window);

// `pixels` at 96 DPI, at `dpi`.
inline int ScaleToDpi(int pixels, int dpi) { return ::MulDiv(pixels, dpi, kDefaultDpi); }

}  // namespace ui
