// Shared by the files of the window manager: the windows, the threads' message queues and the
// timers, all under one lock (`S().lock`), and the helpers that work on them with the lock held.
// Window procedures are always called without the lock.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "windows_internal.h"

namespace host {
namespace win {

struct Window {
  HWND handle = nullptr;
  DWORD thread = 0;
  DWORD process = 0;
  std::wstring className;
  std::wstring text;
  DWORD style = 0;
  DWORD exStyle = 0;
  LONG_PTR id = 0;
  HWND parent = nullptr;
  HINSTANCE instance = nullptr;
  RECT rect{};  // the normal position, in the parent's client coordinates
  WNDPROC proc = nullptr;
  bool dialog = false;
  DLGPROC dialogProc = nullptr;
  LONG_PTR msgResult = 0;
  LONG_PTR dialogUser = 0;
  LONG_PTR userData = 0;
  bool dialogEnded = false;
  INT_PTR dialogResult = 0;
  int baseX = 0;
  int baseY = 0;
  bool needsPaint = false;
  bool erase = false;
  HICON icons[3] = {};
  HFONT font = nullptr;
  std::shared_ptr<ControlState> control;
  std::vector<HWND> children;  // creation order
};

struct Sent {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
};

struct Queue {
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<Sent>> sent;
  bool quit = false;
  int quitCode = 0;
  bool idle = false;  // blocked waiting for messages with nothing to do
  HWND focus = nullptr;
};

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT period;
  TIMERPROC proc;
  DWORD thread;
  ULONGLONG due;
};

struct State {
  std::mutex lock;
  std::condition_variable changed;    // wakes threads waiting for messages or replies
  std::condition_variable observers;  // wakes tests waiting for windows or idle threads
  std::map<HWND, std::shared_ptr<Window>> windows;
  std::vector<HWND> order;  // every window, in creation order
  std::map<DWORD, Queue> queues;
  std::vector<Timer> timers;
  uintptr_t nextHandle = 0x20044;
  UINT_PTR nextThreadTimer = 0x7FF0;
  HCURSOR cursor = nullptr;
};

State& S();

// ---- Window objects (window_objects.cpp); the lock is held ----
std::shared_ptr<Window> Find(HWND handle);
bool IsDescendant(HWND ancestor, HWND window);
// Forgets what a thread owned when it ends: its top-level windows, timers and queue (takes the lock).
void ForgetThread(DWORD thread);
// True, with ERROR_INVALID_WINDOW_HANDLE as the last error, when `window` is null.
bool BadWindow(const std::shared_ptr<Window>& window);
// The window of a call that writes into `out`; null (with the last error set) when the window
// does not exist or `out` is null.
std::shared_ptr<Window> WindowWithOutput(HWND handle, const void* out);

// ---- Message queues (window_messages.cpp) ----
// The calling thread's queue; the lock is held.
Queue& MyQueue();
// Calls the window's procedure (the lock is not held); 0 for a window gone.
LRESULT Call(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Placement and visibility (window_placement.cpp); the lock is held ----
bool VisibleLocked(const std::shared_ptr<Window>& window);
void SetVisibleLocked(const std::shared_ptr<Window>& window, bool visible);
// The frame a window's style gives it around its client area (left, top, right, bottom).
void FrameOf(const Window& w, RECT* frame);

}  // namespace win
}  // namespace host
