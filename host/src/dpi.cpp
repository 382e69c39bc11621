// The display's DPI and the device contexts that report it: GetDpiForWindow (user32 since
// Windows 10 1607, found through GetProcAddress), GetDC / ReleaseDC and GetDeviceCaps.
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "host/display.h"
#include "host/machine.h"
#include "internal.h"
#include "windows_internal.h"
#include "winhost/kernel.h"
#include "winhost/gdi.h"

namespace host {
namespace display {
namespace {

constexpr UINT kDefaultDpi = 96;
// Device contexts are told from window handles and paint DCs by their range.
constexpr uintptr_t kFirstDeviceContext = 0x3C010000;

struct DisplayState {
  std::mutex lock;
  UINT dpi = kDefaultDpi;
  std::map<HWND, UINT> windowDpi;  // top-level windows moved to a display of their own
  std::set<HDC> open;
  uintptr_t next = 0;
};

DisplayState& State() {
  static DisplayState* state = new DisplayState;
  return *state;
}

void Reset() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().dpi = kDefaultDpi;
  State().windowDpi.clear();
  State().open.clear();
  State().next = 0;
}

std::vector<std::string> ListOpen() {
  std::lock_guard<std::mutex> guard(State().lock);
  return std::vector<std::string>(State().open.size(), "device context (GetDC)");
}

const bool g_registered = [] {
  RegisterArea(Area{"display", Reset, ListOpen});
  return true;
}();

// The top-level window a window belongs to.
HWND TopLevelOf(HWND window) {
  while (window && (host::win::StyleOf(window) & WS_CHILD)) window = GetParent(window);
  return window;
}

}  // namespace

UINT DpiOf(HWND window) {
  HWND top = TopLevelOf(window);
  std::lock_guard<std::mutex> guard(State().lock);
  auto it = State().windowDpi.find(top);
  return it != State().windowDpi.end() ? it->second : State().dpi;
}

LRESULT MoveToDisplay(HWND window, UINT dpi) {
  const int from = static_cast<int>(DpiOf(window));
  const int to = static_cast<int>(dpi);
  RECT rect{};
  GetWindowRect(window, &rect);
  RECT suggested{rect.left, rect.top, rect.left + MulDiv(rect.right - rect.left, to, from),
                 rect.top + MulDiv(rect.bottom - rect.top, to, from)};
  {
    std::lock_guard<std::mutex> guard(State().lock);
    State().windowDpi[TopLevelOf(window)] = dpi;
  }
  return SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

void SetDpi(UINT dpi) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().dpi = dpi;
}

UINT Dpi() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().dpi;
}

}  // namespace display
}  // namespace host

using host::display::State;

// Not declared for the program: on Windows it is there only since Windows 10 1607, so the program
// looks it up in user32.dll at run time (the loader's user32.dll has it).
UINT WINAPI GetDpiForWindow(HWND window);

UINT WINAPI GetDpiForWindow(HWND window) {
  HOST_ENTER("GetDpiForWindow", 0);
  // An invalid window answers 0 (the last error is left as it was).
  if (!IsWindow(window)) return 0;
  return host::display::DpiOf(window);
}

HDC WINAPI GetDC(HWND window) {
  HOST_ENTER("GetDC", nullptr);
  if (window && !IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(State().lock);
  HDC dc = reinterpret_cast<HDC>(host::display::kFirstDeviceContext + State().next);
  State().next += 4;
  State().open.insert(dc);
  return dc;
}

int WINAPI ReleaseDC(HWND, HDC dc) {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().open.erase(dc) ? 1 : 0;
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (!State().open.count(dc)) return 0;
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
      return static_cast<int>(State().dpi);
    default:
      return 0;  // capabilities not modelled
  }
}
