// Device contexts of the simulated host: the screen's (GetDC with a null window) and a window's,
// and the two capabilities the host models, the display's DPI (see host/display.h).
#pragma once

#include "winhost/user32.h"

extern "C++" {

typedef struct HDC__* HDC;

// GetDC with a window that does not exist fails (null) with ERROR_INVALID_WINDOW_HANDLE. Every DC
// it hands out counts in the leak check until ReleaseDC (which answers 1, or 0 for a DC it does
// not know).
HDC WINAPI GetDC(HWND window);
int WINAPI ReleaseDC(HWND window, HDC dc);

#define LOGPIXELSX 88
#define LOGPIXELSY 90
// LOGPIXELSX and LOGPIXELSY answer the display's DPI; other indexes and unknown DCs answer 0.
int WINAPI GetDeviceCaps(HDC dc, int index);

}  // extern "C++"
