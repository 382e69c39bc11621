#include "ui/dpi.h"

namespace ui {
namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// user32 is imported by the program, so it is loaded; older systems lack the entry point.
GetDpiForWindowFn DpiForWindowEntry() {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  FARPROC entry = user32 ? ::GetProcAddress(user32, "GetDpiForWindow") : nullptr;
  return reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void (*)()>(entry));
}

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  if (!screen) return 0;
  int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace

int WindowDpi(HWND window) {
  int dpi = 0;
  if (GetDpiForWindowFn dpiForWindow = DpiForWindowEntry()) dpi = static_cast<int>(dpiForWindow(window));
  if (dpi <= 0) dpi = ScreenDpi();
  return dpi > 0 ? dpi : kDefaultDpi;
}

}  // namespace ui
