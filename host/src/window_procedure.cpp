// Window text, the default window procedure (text, icons, fonts, closing, validation of
// paint requests) and the cursor.
#include <algorithm>

#include "host/machine.h"
#include "host/windows.h"
#include "internal.h"
#include "window_manager.h"
#include "winhost/kernel.h"

namespace host {
namespace windows {

WORD CurrentCursor() {
  std::lock_guard<std::mutex> guard(win::S().lock);
  uintptr_t value = reinterpret_cast<uintptr_t>(win::S().cursor);
  return value >= win::kSystemCursorBase && value < win::kSystemCursorBase + 0x10000
             ? static_cast<WORD>(value - win::kSystemCursorBase)
             : 0;
}

}  // namespace windows
}  // namespace host

using host::win::Find;
using host::win::S;

BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text) {
  HOST_ENTER("SetWindowTextW", FALSE);
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

// A window of the calling thread is asked with WM_GETTEXT; the text of another thread's window is
// read without a message, as Windows does.
int WINAPI GetWindowTextW(HWND window, LPWSTR text, int maxCount) {
  HOST_ENTER("GetWindowTextW", 0);
  std::unique_lock<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) {
    if (text && maxCount > 0) text[0] = L'\0';
    return 0;
  }
  if (!text || maxCount <= 0) return 0;
  if (w->thread == host::CurrentThreadId()) {
    guard.unlock();
    return static_cast<int>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                         reinterpret_cast<LPARAM>(text)));
  }
  size_t count = std::min(w->text.size(), static_cast<size_t>(maxCount - 1));
  std::copy(w->text.begin(), w->text.begin() + static_cast<std::ptrdiff_t>(count), text);
  text[count] = L'\0';
  return static_cast<int>(count);
}

int WINAPI GetWindowTextLengthW(HWND window) {
  HOST_ENTER("GetWindowTextLengthW", 0);
  std::unique_lock<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return 0;
  if (w->thread == host::CurrentThreadId()) {
    guard.unlock();
    return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
  }
  return static_cast<int>(w->text.size());
}

// ---- Default window procedure ---------------------------------------------------------------

LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {  // validates the window, as BeginPaint and EndPaint would
      std::lock_guard<std::mutex> guard(S().lock);
      if (auto w = Find(window)) {
        w->needsPaint = false;
        w->erase = false;
      }
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    case WM_SETTEXT: {
      std::lock_guard<std::mutex> guard(S().lock);
      auto w = Find(window);
      if (!w) return FALSE;
      w->text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : L"";
      w->needsPaint = true;
      S().observers.notify_all();
      return TRUE;
    }
    case WM_GETTEXT: {
      std::lock_guard<std::mutex> guard(S().lock);
      auto w = Find(window);
      auto* buffer = reinterpret_cast<LPWSTR>(lParam);
      if (!w || !buffer || wParam == 0) return 0;
      size_t count = std::min(w->text.size(), static_cast<size_t>(wParam - 1));
      std::copy(w->text.begin(), w->text.begin() + static_cast<std::ptrdiff_t>(count), buffer);
      buffer[count] = L'\0';
      return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH: {
      std::lock_guard<std::mutex> guard(S().lock);
      auto w = Find(window);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_SETICON:
    case WM_GETICON: {
      std::lock_guard<std::mutex> guard(S().lock);
      auto w = Find(window);
      if (!w || wParam > ICON_SMALL2) return 0;
      if (message == WM_GETICON) {
        return reinterpret_cast<LRESULT>(w->icons[wParam == ICON_SMALL2 ? ICON_SMALL : wParam]);
      }
      HICON previous = w->icons[wParam];
      w->icons[wParam] = reinterpret_cast<HICON>(lParam);
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_SETFONT:
    case WM_GETFONT: {
      std::lock_guard<std::mutex> guard(S().lock);
      auto w = Find(window);
      if (!w) return 0;
      if (message == WM_GETFONT) return reinterpret_cast<LRESULT>(w->font);
      w->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    }
  }
  return 0;
}

// ---- Cursors -------------------------------------------------------------------------------

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  std::lock_guard<std::mutex> guard(S().lock);
  HCURSOR previous = S().cursor;
  S().cursor = cursor;
  return previous;
}
