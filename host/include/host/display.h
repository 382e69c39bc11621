// Test-facing control of the simulated machine's display: its DPI, which a fresh machine has at
// 96 (100 %). Dialogs created afterwards scale their dialog base units with it (a font of the
// same point size is that many times taller and wider in pixels); GetDpiForWindow and the screen
// DC's LOGPIXELSX report it. DCs from GetDC count in the leak check until ReleaseDC.
#pragma once

#include "winhost/user32.h"

namespace host {
namespace display {

void SetDpi(UINT dpi);
UINT Dpi();

// Moves a top-level window to a display of `dpi`, as a user drags it to another monitor: from
// then on GetDpiForWindow reports `dpi` for it and its children, and it is sent WM_DPICHANGED
// (wParam: the DPI in both words; lParam: the suggested rectangle, its own with the size scaled
// from the old DPI to the new and the top-left corner kept), whose result is returned. The
// default dialog procedure moves a dialog to the suggested rectangle, as Windows' dialog manager
// does for a per-monitor (v2) aware dialog; its rescaling of the controls is not modelled.
LRESULT MoveToDisplay(HWND window, UINT dpi);
// The DPI GetDpiForWindow reports for `window`.
UINT DpiOf(HWND window);

}  // namespace display
}  // namespace host
