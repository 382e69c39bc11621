// The display's DPI as the program reads it: GetDpiForWindow, looked up in user32 at run time, and
// the screen DC's LOGPIXELSX, which agree for a window of a single-monitor display.
#include "conformance.h"
#include "dialog_template.h"

namespace {

using conformance::DialogTemplate;
using conformance::kPoison;

TEST(Display, WindowDpiAgreesWithTheScreenDc) {
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  const int logPixels = GetDeviceCaps(screen, LOGPIXELSX);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), logPixels);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  // The prefix and the simulated machine are both at 100 %.
  EXPECT_EQ(logPixels, 96);

  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  ASSERT_NE(user32, nullptr);
  auto dpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetDpiForWindow")));
  ASSERT_NE(dpiForWindow, nullptr);

  DialogTemplate t(WS_POPUP | WS_CAPTION, 100, 50, "Dpi");
  HWND dialog = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, nullptr, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dpiForWindow(dialog), static_cast<UINT>(logPixels));
  EXPECT_TRUE(DestroyWindow(dialog));
  // A window that is gone has no DPI.
  SetLastError(kPoison);
  EXPECT_EQ(dpiForWindow(dialog), 0u);
}

}  // namespace
