// Window objects: creation, the classes the dialogs use, lookup, destruction (with what was sent,
// posted or timed for the window), the state the dialog manager and the controls keep on a window,
// window values and relations, and the leak check's list of windows still alive.
#include <algorithm>
#include <cstdio>

#include "host/machine.h"
#include "host/windows.h"
#include "internal.h"
#include "window_manager.h"
#include "winhost/kernel.h"

namespace host {
namespace win {
namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

HWND NewHandleValue() {
  HWND handle = reinterpret_cast<HWND>(S().nextHandle);
  S().nextHandle += 4;
  return handle;
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

// Forgets a window and its children, completing what was sent or posted to them.
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

State& S() {
  static State* state = new State;
  return *state;
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

}  // namespace windows

void EndThreadState() { win::ForgetThread(CurrentThreadId()); }

}  // namespace host

using host::win::Find;
using host::win::S;

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

DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto w = Find(window);
  if (host::win::BadWindow(w)) return 0;
  if (processId) *processId = w->process;
  return w->thread;
}
