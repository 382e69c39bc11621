// The window manager: windows owned by threads, per-thread message queues, sent and posted
// messages, timers on the host clock, paint requests, window state (text, styles, rectangles,
// visibility, placement, icons, focus) and the default window procedure.
//
// Retrieval order (as Windows): sent messages, posted messages, WM_QUIT, WM_PAINT, WM_TIMER.
// One lock guards all of it; window procedures are always called without it.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "host/clock.h"
#include "host/machine.h"
#include "host/windows.h"
#include "internal.h"
#include "windows_internal.h"
#include "winhost/kernel.h"

namespace host {
namespace win {
namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
constexpr size_t kQueueLimit = 10000;
constexpr UINT kTimerMinimum = 10;  // USER_TIMER_MINIMUM
constexpr int kFrame = 3;           // border of a top-level window with a frame
constexpr int kCaption = 23;        // height of a caption bar
constexpr LONG kMinimizedPosition = -32000;
constexpr std::chrono::microseconds kTimerRealMinimum{1000};

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

State& S() {
  static State* state = new State;
  return *state;
}

// Drops a thread's queue and windows when the thread ends (for every thread, also those the host
// did not start).
struct QueueOwner {
  DWORD thread = 0;
  ~QueueOwner();
};
thread_local QueueOwner t_queueOwner;

Queue& QueueOf(DWORD thread) { return S().queues[thread]; }

// The calling thread's queue; the lock is held.
Queue& MyQueue() {
  DWORD me = CurrentThreadId();
  t_queueOwner.thread = me;
  return QueueOf(me);
}

std::shared_ptr<Window> Find(HWND handle) {
  auto it = S().windows.find(handle);
  return it == S().windows.end() ? nullptr : it->second;
}

bool IsDescendant(HWND ancestor, HWND window) {
  for (auto w = Find(window); w && w->parent; w = Find(w->parent)) {
    if (w->parent == ancestor) return true;
  }
  return false;
}

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

void CompleteSentTo(HWND window) {
  for (auto& [thread, queue] : S().queues) {
    for (auto it = queue.sent.begin(); it != queue.sent.end();) {
      if ((*it)->window == window) {
        (*it)->done = true;
        it = queue.sent.erase(it);
      } else {
        ++it;
      }
    }
    auto& posted = queue.posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(), [&](const MSG& m) { return m.hwnd == window; }),
                 posted.end());
  }
  auto& timers = S().timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window; }),
               timers.end());
}

void Forget(HWND handle) {
  auto window = Find(handle);
  if (!window) return;
  std::vector<HWND> children = window->children;  // each child takes itself out of the list
  for (HWND child : children) Forget(child);
  if (auto parent = Find(window->parent)) {
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
  }
  CompleteSentTo(handle);
  for (auto& [thread, queue] : S().queues) {
    if (queue.focus == handle) queue.focus = nullptr;
  }
  S().windows.erase(handle);
  S().order.erase(std::remove(S().order.begin(), S().order.end(), handle), S().order.end());
}

void ForgetThread(DWORD thread) {
  std::lock_guard<std::mutex> guard(S().lock);
  std::vector<HWND> owned;
  for (HWND handle : S().order) {
    auto w = Find(handle);
    if (w && w->thread == thread && !(w->style & WS_CHILD)) owned.push_back(handle);
  }
  for (HWND handle : owned) Forget(handle);
  auto& timers = S().timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.thread == thread; }),
               timers.end());
  auto it = S().queues.find(thread);
  if (it != S().queues.end()) {
    for (auto& sent : it->second.sent) sent->done = true;
    S().queues.erase(it);
  }
  S().changed.notify_all();
}

QueueOwner::~QueueOwner() {
  if (thread != 0) ForgetThread(thread);
}

WNDPROC ProcOf(HWND handle) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  return window ? window->proc : nullptr;
}

LRESULT Call(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = ProcOf(handle);
  return proc ? proc(handle, message, wParam, lParam) : 0;
}

// Serves one message sent to the calling thread; false when none waits. Called with the lock
// held through `guard`, which is released around the window procedure.
bool ServeOneSent(std::unique_lock<std::mutex>& guard) {
  Queue& queue = MyQueue();
  if (queue.sent.empty()) return false;
  std::shared_ptr<Sent> sent = queue.sent.front();
  queue.sent.pop_front();
  guard.unlock();
  LRESULT result = Call(sent->window, sent->message, sent->wParam, sent->lParam);
  guard.lock();
  sent->result = result;
  sent->done = true;
  S().changed.notify_all();
  return true;
}

bool Matches(HWND filter, UINT min, UINT max, HWND window, UINT message) {
  if (filter == reinterpret_cast<HWND>(-1)) {
    if (window) return false;
  } else if (filter && window != filter && !IsDescendant(filter, window)) {
    return false;
  }
  return (min == 0 && max == 0) || (message >= min && message <= max);
}

MSG MakeMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = static_cast<DWORD>(GetTickCount());
  return msg;
}

// One message for the calling thread, in Windows' order, after serving every sent message.
// `nextDue` receives the host-clock time of the thread's next timer (or ~0).
bool Take(std::unique_lock<std::mutex>& guard, MSG* out, HWND filter, UINT min, UINT max, bool remove,
          ULONGLONG* nextDue) {
  while (ServeOneSent(guard)) {
  }
  DWORD me = CurrentThreadId();
  Queue& queue = MyQueue();
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!Matches(filter, min, max, it->hwnd, it->message)) continue;
    *out = *it;
    if (remove) queue.posted.erase(it);
    return true;
  }
  if (queue.quit) {
    *out = MakeMsg(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
    if (remove) queue.quit = false;
    return true;
  }
  for (HWND handle : S().order) {
    auto w = Find(handle);
    if (!w || w->thread != me || !w->needsPaint || !VisibleLocked(w)) continue;
    if (!Matches(filter, min, max, handle, WM_PAINT)) continue;
    *out = MakeMsg(handle, WM_PAINT, 0, 0);
    return true;
  }
  ULONGLONG now = clock::Now();
  *nextDue = ~0ull;
  for (Timer& timer : S().timers) {
    if (timer.thread != me || !Matches(filter, min, max, timer.window, WM_TIMER)) continue;
    if (timer.due <= now) {
      *out = MakeMsg(timer.window, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.proc));
      if (remove) timer.due = now + timer.period;
      return true;
    }
    *nextDue = std::min(*nextDue, timer.due);
  }
  return false;
}

// Waits until something may have arrived for the calling thread: a notification, or its next
// timer's time, which a wait moves the host clock forward to.
void WaitForWork(std::unique_lock<std::mutex>& guard, ULONGLONG nextDue) {
  Queue& queue = MyQueue();
  queue.idle = true;
  S().observers.notify_all();
  if (nextDue == ~0ull) {
    S().changed.wait(guard);
  } else {
    ULONGLONG now = clock::Now();
    if (nextDue > now) {
      // At least a real millisecond, so that a thread with a repeating timer does not spin when
      // the clock is not compressed into real time at all.
      auto real = std::max<std::chrono::microseconds>(clock::RealDuration(static_cast<DWORD>(nextDue - now)),
                                                      kTimerRealMinimum);
      if (S().changed.wait_for(guard, real) == std::cv_status::timeout) {
        ULONGLONG later = clock::Now();
        if (nextDue > later) clock::Advance(static_cast<DWORD>(nextDue - later));
      }
    }
  }
  MyQueue().idle = false;
}

bool HasWork(const Queue& queue) { return !queue.sent.empty() || !queue.posted.empty() || queue.quit; }

HWND NewHandleValue() {
  HWND handle = reinterpret_cast<HWND>(S().nextHandle);
  S().nextHandle += 4;
  return handle;
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

bool BadWindow(const std::shared_ptr<Window>& window) {
  if (window) return false;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return true;
}

// The window of a call that writes into `out`; null (with the last error set) when the window
// does not exist or `out` is null.
std::shared_ptr<Window> WindowWithOutput(HWND handle, const void* out) {
  auto window = Find(handle);
  if (BadWindow(window)) return nullptr;
  if (out) return window;
  SetLastError(ERROR_NOACCESS);
  return nullptr;
}

std::vector<std::string> ListOpen() {
  std::lock_guard<std::mutex> guard(S().lock);
  std::vector<std::string> open;
  for (HWND handle : S().order) {
    auto w = Find(handle);
    if (!w || (w->style & WS_CHILD)) continue;
    char text[48];
    std::snprintf(text, sizeof text, "window 0x%zx ", reinterpret_cast<size_t>(handle));
    open.push_back(text + Utf8Of(w->className) + " \"" + Utf8Of(w->text) + "\" of thread " +
                   std::to_string(w->thread));
  }
  for (const Timer& timer : S().timers) {
    if (!timer.window) open.push_back("thread timer " + std::to_string(timer.id) + " of thread " +
                                      std::to_string(timer.thread));
  }
  return open;
}

void Reset() {
  std::lock_guard<std::mutex> guard(S().lock);
  for (auto& [thread, queue] : S().queues) {
    for (auto& sent : queue.sent) sent->done = true;
  }
  S().windows.clear();
  S().order.clear();
  S().queues.clear();
  S().timers.clear();
  S().observers.notify_all();
  S().nextHandle = 0x20044;
  S().nextThreadTimer = 0x7FF0;
  S().cursor = nullptr;
  S().changed.notify_all();
}

const bool g_registered = [] {
  RegisterArea(Area{"windows", Reset, ListOpen});
  return true;
}();

}  // namespace

// The classes the system registers that dialogs here use. Edit boxes, list boxes, combo boxes and
// scroll bars keep only their text: their own messages are not modelled.
WNDPROC ProcOfClass(const std::wstring& className) {
  struct Known {
    const wchar_t* name;
    WNDPROC proc;
  };
  static const Known known[] = {
      {L"#32770", DialogClassProc}, {L"Button", ButtonProc},         {L"Static", DefWindowProcW},
      {L"Edit", DefWindowProcW},    {L"ListBox", DefWindowProcW},     {L"ComboBox", DefWindowProcW},
      {L"ScrollBar", DefWindowProcW}, {WC_LISTVIEWW, ListViewProc}, {PROGRESS_CLASSW, ProgressProc},
  };
  for (const Known& k : known) {
    if (NamesEqual(className, k.name)) return k.proc;
  }
  return nullptr;
}

HWND CreateWindowOf(const CreateParams& params) {
  WNDPROC proc = ProcOfClass(params.className);
  if (!proc) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(S().lock);
  auto parent = Find(params.parent);
  if ((params.style & WS_CHILD) && !parent) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  auto window = std::make_shared<Window>();
  window->handle = NewHandleValue();
  window->thread = CurrentThreadId();
  window->process = GetCurrentProcessId();
  window->className = params.dialog ? L"#32770" : params.className;
  window->text = params.text;
  window->style = params.style;
  window->exStyle = params.exStyle;
  window->id = params.id;
  window->parent = params.parent;
  window->instance = params.instance;
  window->rect = params.rect;
  if (params.clientSize) {
    RECT frame;
    FrameOf(*window, &frame);
    window->rect.right += frame.left + frame.right;
    window->rect.bottom += frame.top + frame.bottom;
  }
  if (params.center) {
    LONG width = window->rect.right - window->rect.left;
    LONG height = window->rect.bottom - window->rect.top;
    window->rect.left = (kScreenWidth - width) / 2;
    window->rect.top = (kScreenHeight - height) / 2;
    window->rect.right = window->rect.left + width;
    window->rect.bottom = window->rect.top + height;
  }
  window->proc = proc;
  window->dialog = params.dialog;
  window->dialogProc = params.dialogProc;
  window->baseX = params.baseX;
  window->baseY = params.baseY;
  window->needsPaint = true;
  S().windows[window->handle] = window;
  S().order.push_back(window->handle);
  if (parent && (params.style & WS_CHILD)) parent->children.push_back(window->handle);
  MyQueue();
  S().observers.notify_all();
  return window->handle;
}

std::shared_ptr<ControlState> ControlStateOf(HWND handle, std::shared_ptr<ControlState> (*make)()) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  if (!window) return make();  // a window gone meanwhile: a detached state, thrown away after
  if (!window->control) window->control = make();
  return window->control;
}

bool IsDialogWindow(HWND handle) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  return window && window->dialog;
}

DLGPROC DialogProcOf(HWND handle) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  return window ? window->dialogProc : nullptr;
}

void SetDialogEnded(HWND handle, INT_PTR result) {
  std::lock_guard<std::mutex> guard(S().lock);
  if (auto window = Find(handle)) {
    window->dialogEnded = true;
    window->dialogResult = result;
  }
  S().changed.notify_all();
}

bool DialogEnded(HWND handle, INT_PTR* result) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  if (!window || !window->dialogEnded) return false;
  *result = window->dialogResult;
  return true;
}

void DialogBaseUnits(HWND handle, int* baseX, int* baseY) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  *baseX = window ? window->baseX : 0;
  *baseY = window ? window->baseY : 0;
}

std::vector<HWND> ChildrenOf(HWND handle) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  return window ? window->children : std::vector<HWND>{};
}

std::wstring ClassNameOf(HWND handle) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  return window ? window->className : std::wstring();
}

DWORD StyleOf(HWND handle) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto window = Find(handle);
  return window ? window->style : 0;
}

void WakeAll() {
  std::lock_guard<std::mutex> guard(S().lock);
  S().changed.notify_all();
}

void PumpUntil(const std::function<bool()>& done, bool dispatch) {
  std::unique_lock<std::mutex> guard(S().lock);
  while (!done()) {
    if (ServeOneSent(guard)) continue;
    ULONGLONG nextDue = ~0ull;
    MSG msg;
    if (dispatch && Take(guard, &msg, nullptr, 0, 0, false, &nextDue) && msg.message != WM_QUIT) {
      if (!Take(guard, &msg, nullptr, 0, 0, true, &nextDue)) continue;
      if (msg.message == WM_QUIT) {
        MyQueue().quit = true;  // left for the thread's own loop
        continue;
      }
      guard.unlock();
      DispatchMessageW(&msg);
      guard.lock();
      continue;
    }
    if (done()) break;
    WaitForWork(guard, dispatch ? nextDue : ~0ull);
  }
}

}  // namespace win

namespace windows {

HWND WaitForWindow(const std::wstring& title, DWORD realMilliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMilliseconds);
  std::unique_lock<std::mutex> guard(win::S().lock);
  for (;;) {
    for (auto it = win::S().order.rbegin(); it != win::S().order.rend(); ++it) {
      auto w = win::Find(*it);
      if (w && !(w->style & WS_CHILD) && w->text == title) return *it;
    }
    if (win::S().observers.wait_until(guard, deadline) == std::cv_status::timeout) return nullptr;
  }
}

bool WaitUntilIdle(HWND window, DWORD realMilliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMilliseconds);
  std::unique_lock<std::mutex> guard(win::S().lock);
  for (;;) {
    auto w = win::Find(window);
    if (!w) return false;
    auto it = win::S().queues.find(w->thread);
    if (it != win::S().queues.end() && it->second.idle && !win::HasWork(it->second)) return true;
    if (win::S().observers.wait_until(guard, deadline) == std::cv_status::timeout) return false;
  }
}

WORD CurrentCursor() {
  std::lock_guard<std::mutex> guard(win::S().lock);
  uintptr_t value = reinterpret_cast<uintptr_t>(win::S().cursor);
  return value >= win::kSystemCursorBase && value < win::kSystemCursorBase + 0x10000
             ? static_cast<WORD>(value - win::kSystemCursorBase)
             : 0;
}

}  // namespace windows

void EndThreadState() { win::ForgetThread(CurrentThreadId()); }

}  // namespace host

using host::win::Find;
using host::win::S;

// ---- Message queues ------------------------------------------------------------------------

BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  HOST_ENTER("GetMessageW", -1);
  if (!msg) {
    SetLastError(ERROR_NOACCESS);
    return -1;
  }
  std::unique_lock<std::mutex> guard(S().lock);
  if (window && window != reinterpret_cast<HWND>(-1) && !Find(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  for (;;) {
    ULONGLONG nextDue = ~0ull;
    if (host::win::Take(guard, msg, window, filterMin, filterMax, true, &nextDue)) {
      return msg->message == WM_QUIT ? FALSE : TRUE;
    }
    host::win::WaitForWork(guard, nextDue);
  }
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  HOST_ENTER("PeekMessageW", FALSE);
  if (!msg) return FALSE;
  std::unique_lock<std::mutex> guard(S().lock);
  ULONGLONG nextDue;
  return host::win::Take(guard, msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, &nextDue) ? TRUE
                                                                                                           : FALSE;
}

// No character messages are made: the host has no keyboard layout.
BOOL WINAPI TranslateMessage(const MSG* msg) { return FALSE; }

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  if (!msg->hwnd) return 0;
  {
    std::lock_guard<std::mutex> guard(S().lock);
    auto w = Find(msg->hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->thread != host::CurrentThreadId()) {
      SetLastError(ERROR_MESSAGE_SYNC_ONLY);
      return 0;
    }
  }
  // A window procedure that leaves WM_PAINT unvalidated is asked again, as on Windows; the
  // default handling validates.
  return host::win::Call(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

namespace {

BOOL PostTo(DWORD thread, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  host::win::Queue& queue = host::win::QueueOf(thread);
  if (queue.posted.size() >= host::win::kQueueLimit) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  queue.posted.push_back(host::win::MakeMsg(window, message, wParam, lParam));
  S().changed.notify_all();
  return TRUE;
}

}  // namespace

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HOST_ENTER("PostMessageW", FALSE);
  std::lock_guard<std::mutex> guard(S().lock);
  if (!window) {
    host::win::MyQueue();
    return PostTo(host::CurrentThreadId(), nullptr, message, wParam, lParam);
  }
  auto w = Find(window);
  if (host::win::BadWindow(w)) return FALSE;
  return PostTo(w->thread, window, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
  std::lock_guard<std::mutex> guard(S().lock);
  host::win::Queue& queue = host::win::MyQueue();
  queue.quit = true;
  queue.quitCode = exitCode;
  S().changed.notify_all();
}

// A message to a window of another thread waits until that thread serves it inside one of its
// message retrievals (GetMessageW, PeekMessageW, a modal loop, or its own SendMessageW); the
// sender meanwhile serves messages sent to it, so two threads sending to each other do not block.
// As on Windows, a receiver that never retrieves messages keeps the sender waiting.
LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HOST_ENTER("SendMessageW", 0);
  std::unique_lock<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return 0;
  DWORD me = host::CurrentThreadId();
  if (w->thread == me) {
    WNDPROC proc = w->proc;
    guard.unlock();
    return proc(window, message, wParam, lParam);
  }
  auto sent = std::make_shared<host::win::Sent>();
  sent->window = window;
  sent->message = message;
  sent->wParam = wParam;
  sent->lParam = lParam;
  host::win::QueueOf(w->thread).sent.push_back(sent);
  S().changed.notify_all();
  while (!sent->done) {
    if (host::win::ServeOneSent(guard)) continue;
    S().changed.wait(guard);
  }
  return sent->result;
}

// ---- Window state --------------------------------------------------------------------------

BOOL WINAPI IsWindow(HWND window) {
  std::lock_guard<std::mutex> guard(S().lock);
  return Find(window) ? TRUE : FALSE;
}

BOOL WINAPI DestroyWindow(HWND window) {
  HOST_ENTER("DestroyWindow", FALSE);
  std::vector<HWND> preOrder;
  {
    std::lock_guard<std::mutex> guard(S().lock);
    auto w = Find(window);
    if (host::win::BadWindow(w)) return FALSE;
    if (w->thread != host::CurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    std::vector<HWND> pending{window};
    while (!pending.empty()) {
      HWND next = pending.back();
      pending.pop_back();
      preOrder.push_back(next);
      if (auto c = Find(next)) pending.insert(pending.end(), c->children.rbegin(), c->children.rend());
    }
    host::win::SetVisibleLocked(w, false);
  }
  for (HWND handle : preOrder) host::win::Call(handle, WM_DESTROY, 0, 0);
  for (auto it = preOrder.rbegin(); it != preOrder.rend(); ++it) host::win::Call(*it, WM_NCDESTROY, 0, 0);
  std::lock_guard<std::mutex> guard(S().lock);
  host::win::Forget(window);
  S().changed.notify_all();
  S().observers.notify_all();
  return TRUE;
}

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

LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index) {
  HOST_ENTER("GetWindowLongPtrW", 0);
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return 0;
  switch (index) {
    case GWL_STYLE:
      return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_ID:
      return w->id;
    case GWLP_USERDATA:
      return w->userData;
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(w->parent);
  }
  if (w->dialog) {
    if (index == static_cast<int>(DWLP_MSGRESULT)) return w->msgResult;
    if (index == static_cast<int>(DWLP_DLGPROC)) return reinterpret_cast<LONG_PTR>(w->dialogProc);
    if (index == static_cast<int>(DWLP_USER)) return w->dialogUser;
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  HOST_ENTER("SetWindowLongPtrW", 0);
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return 0;
  LONG_PTR previous;
  switch (index) {
    case GWL_STYLE:
      previous = static_cast<LONG_PTR>(w->style);
      w->style = static_cast<DWORD>(value);
      return previous;
    case GWL_EXSTYLE:
      previous = static_cast<LONG_PTR>(w->exStyle);
      w->exStyle = static_cast<DWORD>(value);
      return previous;
    case GWLP_ID:
      previous = w->id;
      w->id = value;
      return previous;
    case GWLP_USERDATA:
      previous = w->userData;
      w->userData = value;
      return previous;
    case GWLP_WNDPROC:
      previous = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      return previous;
  }
  if (w->dialog) {
    LONG_PTR* slot = nullptr;
    if (index == static_cast<int>(DWLP_MSGRESULT)) slot = &w->msgResult;
    if (index == static_cast<int>(DWLP_USER)) slot = &w->dialogUser;
    if (slot) {
      previous = *slot;
      *slot = value;
      return previous;
    }
    if (index == static_cast<int>(DWLP_DLGPROC)) {
      previous = reinterpret_cast<LONG_PTR>(w->dialogProc);
      w->dialogProc = reinterpret_cast<DLGPROC>(value);
      return previous;
    }
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

HWND WINAPI GetParent(HWND window) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return nullptr;
  return (w->style & (WS_CHILD | WS_POPUP)) ? w->parent : nullptr;
}

HWND WINAPI GetWindow(HWND window, UINT command) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return nullptr;
  if (command == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (command == GW_OWNER) return (w->style & WS_CHILD) ? nullptr : w->parent;
  auto parent = Find(w->parent);
  if (!parent || !(w->style & WS_CHILD)) return nullptr;  // top-level order is not modelled
  const auto& siblings = parent->children;
  auto it = std::find(siblings.begin(), siblings.end(), window);
  switch (command) {
    case GW_HWNDFIRST:
      return siblings.front();
    case GW_HWNDLAST:
      return siblings.back();
    case GW_HWNDNEXT:
      return it + 1 == siblings.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
      return it == siblings.begin() ? nullptr : *(it - 1);
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

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
    switch (command) {
      case SW_SHOWNORMAL:
      case SW_RESTORE:
      case SW_SHOWDEFAULT:
        w->style &= ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE);
        break;
      case SW_SHOWMINIMIZED:
      case SW_MINIMIZE:
      case SW_SHOWMINNOACTIVE:
        w->style = (w->style & ~static_cast<DWORD>(WS_MAXIMIZE)) | WS_MINIMIZE;
        break;
      case SW_SHOWMAXIMIZED:
        w->style = (w->style & ~static_cast<DWORD>(WS_MINIMIZE)) | WS_MAXIMIZE;
        break;
      default:
        break;
    }
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
  } else if (w->style & WS_MINIMIZE) {
    origin = POINT{host::win::kMinimizedPosition, host::win::kMinimizedPosition};
    width = 160;
    height = 28;
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
  placement->showCmd = (w->style & WS_MINIMIZE)   ? SW_SHOWMINIMIZED
                       : (w->style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED
                                                  : SW_SHOWNORMAL;
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

DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return 0;
  if (processId) *processId = w->process;
  return w->thread;
}

// ---- Timers --------------------------------------------------------------------------------

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  HOST_ENTER("SetTimer", 0);
  std::lock_guard<std::mutex> guard(S().lock);
  // A window's timer is its thread's, whichever thread of the process sets it.
  DWORD owner = host::CurrentThreadId();
  if (window) {
    auto w = Find(window);
    if (host::win::BadWindow(w)) return 0;
    if (w->process != GetCurrentProcessId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
    owner = w->thread;
  }
  host::win::MyQueue();
  UINT period = std::max(elapse, host::win::kTimerMinimum);
  if (period > 0x7FFFFFFF) period = 0x7FFFFFFF;
  auto& timers = S().timers;
  if (!window) {
    // Thread timers: `id` names an existing timer to replace, or a new identifier is chosen.
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const host::win::Timer& t) { return !t.window && t.id == id && t.thread == owner; });
    if (id == 0 || it == timers.end()) id = S().nextThreadTimer++;
  }
  auto same = [&](const host::win::Timer& t) { return t.window == window && t.id == id && t.thread == owner; };
  timers.erase(std::remove_if(timers.begin(), timers.end(), same), timers.end());
  timers.push_back(host::win::Timer{window, id, period, timerProc, owner, host::clock::Now() + period});
  S().changed.notify_all();
  return window ? (id ? id : 1) : id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  HOST_ENTER("KillTimer", FALSE);
  std::lock_guard<std::mutex> guard(S().lock);
  DWORD me = host::CurrentThreadId();
  auto& timers = S().timers;
  auto it = std::find_if(timers.begin(), timers.end(), [&](const host::win::Timer& t) {
    return t.window == window && t.id == id && (window || t.thread == me);
  });
  if (it == timers.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  timers.erase(it);
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

HCURSOR WINAPI GetCursor() {
  std::lock_guard<std::mutex> guard(S().lock);
  return S().cursor;
}
