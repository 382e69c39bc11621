// Test-facing control of the simulated machine's display: its DPI, which a fresh machine has at
// 96 (100 %). Dialogs created afterwards scale their dialog base units with it (a font of the
// same point size is that many times taller and wider in pixels); GetDpiForWindow and the screen
// DC's LOGPIXELSX report it. DCs from GetDC count in the leak check until ReleaseDC.
#pragma once

#include "winhost/base.h"

namespace host {
namespace display {

void SetDpi(UINT dpi);
UINT Dpi();

}  // namespace display
}  // namespace host
