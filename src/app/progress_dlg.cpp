#include "app/progress_dlg.h"

#include <cwchar>

#include "app/firmware_workflow.h"
#include "app/progress_messages.h"
#include "app/resource.h"
#include "diag/diag_log.h"

namespace {

constexpr UINT_PTR kStepTimer = 0;
constexpr UINT kStepPeriodMs = 200;
constexpr unsigned kLastStep = 100;
// How often WaitForWindow looks at the window handle when it has no event to wait on.
constexpr DWORD kWindowPollMs = 20;
// In-process, local and remote server.
constexpr DWORD kTaskbarListContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

}  // namespace

CProgressDlg::CProgressDlg()
    : ui::Dialog(IDD_PROGRESS_DIALOG, nullptr),
      icon_(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      windowReady_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  // Without the event the workflow watches the window handle the dialog publishes instead.
  if (!windowReady_) DiagLog::WriteError(::GetLastError(), L"CreateEvent (progress dialog)");
}

CProgressDlg::~CProgressDlg() = default;

HWND CProgressDlg::WaitForWindow(DWORD timeoutMs) {
  if (windowReady_) {
    if (::WaitForSingleObject(windowReady_.get(), timeoutMs) != WAIT_OBJECT_0) return nullptr;
    return window_.load();
  }
  // No event: the handle itself, looked at until it is set or the time is up.
  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    if (HWND window = window_.load()) return window;
    if (::GetTickCount64() - start >= timeoutMs) return nullptr;
    ::Sleep(kWindowPollMs);
  }
}

bool CProgressDlg::RequestEnd() {
  // Seen by OnInitDialog if the window is still being set up; otherwise the window exists and
  // takes the message. The handle is read directly, so this works with or without the event.
  endRequested_.store(true);
  HWND window = window_.load();
  return window && ::PostMessageW(window, WM_PROGRESS_TERMINATE, 0, 0);
}

BOOL CProgressDlg::OnInitDialog() {
  HWND hwnd = GetSafeHwnd();
  // Opens where the main dialog stood, keeps its own size, stays above other windows.
  ::SetWindowPos(hwnd, HWND_TOPMOST, normalRect.left, normalRect.top, 0, 0, SWP_NOSIZE);

  // The taskbar list object takes the dialog's button off the taskbar (OnPaint). Without it the
  // dialog works all the same.
  HRESULT com = ::CoInitialize(nullptr);
  comInitialized_ = SUCCEEDED(com);
  if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, kTaskbarListContext, IID_ITaskbarList,
                                reinterpret_cast<void**>(&taskbarList)))) {
    taskbarList = nullptr;
  }
  if (taskbarList) taskbarList->HrInit();

  ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  progress_.Attach(GetDlgItem(IDC_PROGRESS_BAR));
  progress_.SetRange(0, kLastStep);
  stepCount = 0;
  ::SetTimer(hwnd, kStepTimer, kStepPeriodMs, nullptr);

  window_.store(hwnd);
  if (windowReady_) ::SetEvent(windowReady_.get());
  if (endRequested_.load()) EndDialog(IDCANCEL);  // the download ended before the window was up
  return TRUE;
}

bool CProgressDlg::OnPaint() {
  if (taskbarList) taskbarList->DeleteTab(GetSafeHwnd());
  return false;  // painted as a dialog normally is
}

bool CProgressDlg::OnCommand(WORD id, WORD notifyCode, HWND control) {
  // The dialog has no buttons: Escape ends it (as Cancel), Enter does nothing.
  if (id == IDCANCEL) {
    EndDialog(IDCANCEL);
    return true;
  }
  return id == IDOK;
}

bool CProgressDlg::OnTimer(UINT_PTR timerId) {
  if (timerId != kStepTimer) return false;
  // The stages give no measure of progress: the bar climbs and starts again from 0.
  if (stepCount > kLastStep) stepCount = 0;
  progress_.SetPos(static_cast<int>(stepCount));
  ++stepCount;
  return true;
}

void CProgressDlg::OnDestroy() {
  ::KillTimer(GetSafeHwnd(), kStepTimer);
  window_.store(nullptr);
  if (taskbarList) {
    taskbarList->Release();
    taskbarList = nullptr;
  }
  if (comInitialized_) ::CoUninitialize();
  comInitialized_ = false;
}

bool CProgressDlg::OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_PROGRESS_MSG) {
    result = OnProgressMsg(wParam, lParam);
    return true;
  }
  if (message == WM_PROGRESS_TERMINATE) {
    result = OnTerminate(wParam, lParam);
    return true;
  }
  return false;
}

LRESULT CProgressDlg::OnProgressMsg(WPARAM, LPARAM lParam) {
  wchar_t line[kStageChars] = {};
  std::wcsncpy(line, StageLine(lParam), kStageChars - 1);
  DiagLog::Write(L"CProgressDlg::OnProgressMsg() msg=%ls", line);
  SetDlgItemText(IDC_STAGE_LINE, line);
  // Each stage starts an empty bar.
  stepCount = 0;
  progress_.SetPos(0);
  return 0;
}

LRESULT CProgressDlg::OnTerminate(WPARAM, LPARAM) {
  DiagLog::Write(L"CProgressDlg::OnTerminate()");
  EndDialog(IDCANCEL);
  return 0;
}
