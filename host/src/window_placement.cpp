// Placement and visibility: showing and hiding, enabling, focus, window and client rectangles in
// the frame a style gives, moves and sizes, and paint requests. Windows are never minimised or
// maximised here: the program neither does it nor asks.
#include <algorithm>

#include "host/machine.h"
#include "internal.h"
#include "window_manager.h"
#include "winhost/kernel.h"

namespace host {
namespace win {
namespace {

constexpr int kFrame = 3;           // border of a top-level window with a frame
constexpr int kCaption = 23;        // height of a caption bar

// The screen position of a window's client area origin.
POINT ClientOrigin(const std::shared_ptr<Window>& window) {
  POINT origin{0, 0};
  for (auto w = window; w; w = (w->style & WS_CHILD) ? Find(w->parent) : nullptr) {
    RECT frame;
    FrameOf(*w, &frame);
    origin.x += w->rect.left + frame.left;
    origin.y += w->rect.top + frame.top;
  }
  return origin;
}

}  // namespace

bool VisibleLocked(const std::shared_ptr<Window>& window) {
  for (auto w = window; w; w = (w->style & WS_CHILD) ? Find(w->parent) : nullptr) {
    if (!(w->style & WS_VISIBLE)) return false;
  }
  return true;
}

void FrameOf(const Window& w, RECT* frame) {
  int border = 0;
  int caption = 0;
  if (w.style & WS_CHILD) {
    if (w.style & WS_BORDER) border += 1;
    if (w.exStyle & WS_EX_CLIENTEDGE) border += 2;
  } else {
    if (w.style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) border = kFrame;
    if ((w.style & WS_CAPTION) == WS_CAPTION) caption = kCaption;
  }
  *frame = RECT{border, border + caption, border, border};
}

void SetVisibleLocked(const std::shared_ptr<Window>& window, bool visible) {
  if (visible) {
    window->style |= WS_VISIBLE;
    window->needsPaint = true;
    window->erase = true;
    for (HWND child : window->children) {
      if (auto c = Find(child)) c->needsPaint = true;
    }
  } else {
    window->style &= ~static_cast<DWORD>(WS_VISIBLE);
  }
}

}  // namespace win
}  // namespace host

using host::win::Find;
using host::win::S;

BOOL WINAPI ShowWindow(HWND window, int command) {
  HOST_ENTER("ShowWindow", FALSE);
  bool wasVisible;
  bool visible;
  {
    std::lock_guard<std::mutex> guard(S().lock);
    auto w = Find(window);
    if (host::win::BadWindow(w)) return FALSE;
    wasVisible = (w->style & WS_VISIBLE) != 0;
    visible = command != SW_HIDE;
    host::win::SetVisibleLocked(w, visible);
    S().changed.notify_all();
  }
  if (visible != wasVisible) SendMessageW(window, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
  return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND window) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = Find(window);
  return w && host::win::VisibleLocked(w) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return FALSE;
  bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (enable) {
    w->style &= ~static_cast<DWORD>(WS_DISABLED);
  } else {
    w->style |= WS_DISABLED;
  }
  return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = Find(window);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND WINAPI SetFocus(HWND window) {
  std::lock_guard<std::mutex> guard(S().lock);
  host::win::Queue& queue = host::win::MyQueue();
  HWND previous = queue.focus;
  if (window) {
    auto w = Find(window);
    if (host::win::BadWindow(w)) return nullptr;
    if (w->thread != host::CurrentThreadId()) return nullptr;
  }
  queue.focus = window;
  return previous;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
  HOST_ENTER("GetWindowRect", FALSE);
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = host::win::WindowWithOutput(window, rect);
  if (!w) return FALSE;
  LONG width = w->rect.right - w->rect.left;
  LONG height = w->rect.bottom - w->rect.top;
  POINT origin{w->rect.left, w->rect.top};
  if (w->style & WS_CHILD) {
    POINT parentOrigin = host::win::ClientOrigin(Find(w->parent));
    origin.x += parentOrigin.x;
    origin.y += parentOrigin.y;
  }
  *rect = RECT{origin.x, origin.y, origin.x + width, origin.y + height};
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
  HOST_ENTER("GetClientRect", FALSE);
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = host::win::WindowWithOutput(window, rect);
  if (!w) return FALSE;
  RECT frame;
  host::win::FrameOf(*w, &frame);
  LONG width = w->rect.right - w->rect.left - frame.left - frame.right;
  LONG height = w->rect.bottom - w->rect.top - frame.top - frame.bottom;
  *rect = RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
  return TRUE;
}

BOOL WINAPI GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) {
  HOST_ENTER("GetWindowPlacement", FALSE);
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = host::win::WindowWithOutput(window, placement);
  if (!w) return FALSE;
  placement->length = sizeof(WINDOWPLACEMENT);
  placement->flags = 0;
  placement->showCmd = SW_SHOWNORMAL;
  placement->ptMinPosition = POINT{-1, -1};
  placement->ptMaxPosition = POINT{-1, -1};
  placement->rcNormalPosition = w->rect;
  return TRUE;
}

BOOL WINAPI SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  HOST_ENTER("SetWindowPos", FALSE);
  {
    std::lock_guard<std::mutex> guard(S().lock);
    auto w = Find(window);
    if (host::win::BadWindow(w)) return FALSE;
    if (!(flags & SWP_NOZORDER) && !(w->style & WS_CHILD)) {
      if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
      if (insertAfter == HWND_NOTOPMOST) w->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
    }
    LONG width = w->rect.right - w->rect.left;
    LONG height = w->rect.bottom - w->rect.top;
    if (!(flags & SWP_NOMOVE)) w->rect = RECT{x, y, x + width, y + height};
    if (!(flags & SWP_NOSIZE)) {
      w->rect.right = w->rect.left + std::max(cx, 0);
      w->rect.bottom = w->rect.top + std::max(cy, 0);
    }
    if (!(flags & SWP_NOREDRAW) && !(flags & (SWP_NOMOVE | SWP_NOSIZE))) w->needsPaint = true;
  }
  if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOWNA);
  if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
  host::win::WakeAll();
  return TRUE;
}

// ---- Painting ------------------------------------------------------------------------------

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL erase) {
  std::lock_guard<std::mutex> guard(S().lock);
  if (!window) return TRUE;  // the desktop: nothing of the program's to repaint
  auto w = Find(window);
  if (host::win::BadWindow(w)) return FALSE;
  w->needsPaint = true;
  if (erase) w->erase = true;
  S().changed.notify_all();
  return TRUE;
}
