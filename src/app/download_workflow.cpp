// The firmware download workflow of the main dialog: from the selected printer's name to an
// updated firmware, or to the one message box that says why not (firmware_workflow.h). It runs
// on the user-interface thread inside the button handler while the progress dialog runs on a
// thread of its own.
#include <iterator>

#include "app/firmware_workflow.h"
#include "app/printer_list.h"
#include "app/progress_messages.h"
#include "diag/diag_log.h"

std::atomic<bool> progressRunning{false};

namespace {

constexpr DWORD kBeforeHideMs = 300;
constexpr DWORD kAfterHideMs = 1000;
constexpr DWORD kProgressWindowTimeoutMs = 10000;
constexpr DWORD kPollMs = 300;

}  // namespace

// The dialog's face of the workflow: the progress dialog shows the stages, a message box (or the
// printer's row) the outcome.
class CPrinterList::DialogObserver : public WorkflowObserver {
 public:
  DialogObserver(CPrinterList& dialog, const wchar_t* printerName) : dialog_(dialog), printerName_(printerName) {}

  void Started(ConnectionKind) override { dialog_.StartProgressDialog(); }
  void Stage(LPARAM stage) override { dialog_.PostProgress(stage); }
  void Finished(const WorkflowOutcome& outcome) override {
    dialog_.TerminateProgressThrd();
    if (outcome.message) {
      DiagLog::ShowMessage(outcome.icon, L"%ls", outcome.message);
    } else if (outcome.result == WorkflowResult::Updated) {
      int row = dialog_.list_.FindItem(printerName_);
      if (row >= 0) dialog_.list_.SetItemText(row, 2, L"-- Updated --");
    }
  }

 private:
  CPrinterList& dialog_;
  const wchar_t* printerName_;
};

DWORD WINAPI ProgressThreadProc(LPVOID dialog) {
  progressRunning.store(true);
  static_cast<CProgressDlg*>(dialog)->DoModal();
  progressRunning.store(false);
  return 0;
}

ConnectionKind CPrinterList::GetConnectionKind(const wchar_t* printerName) { return ConnectionKindOf(printerName); }

void CPrinterList::OnDownloadFirmware() {
  int row = list_.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0) {
    DiagLog::ShowMessage(MB_ICONWARNING, L"There are no printers selected.");
    return;
  }
  wchar_t name[kNameChars] = {};
  list_.GetItemText(row, 0, name, static_cast<int>(std::size(name)));
  DownloadFirmware(name);
  ::ShowWindow(GetSafeHwnd(), SW_SHOWNORMAL);
}

void CPrinterList::StartProgressDialog() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  ::GetWindowPlacement(GetSafeHwnd(), &placement);

  // The previous run's dialog ended before its run returned (TerminateProgressThrd).
  progressDlg_ = std::make_unique<CProgressDlg>();
  progressDlg_->normalRect = placement.rcNormalPosition;
  progressWnd_ = nullptr;
  // Set before the thread starts, so that closing never misses a thread that has not begun.
  progressRunning.store(true);
  if (!progressThread_.Start(&ProgressThreadProc, progressDlg_.get())) {
    progressRunning.store(false);
    DiagLog::WriteError(::GetLastError(), L"CreateThread (progress dialog)");
  }

  ::Sleep(kBeforeHideMs);
  // Without a progress dialog the main dialog stays, so that no message box finds it hidden.
  if (progressThread_.Started()) ::ShowWindow(GetSafeHwnd(), SW_HIDE);
  ::Sleep(kAfterHideMs);
  if (!progressThread_.Started()) return;
  progressWnd_ = progressDlg_->WaitForWindow(kProgressWindowTimeoutMs);
  if (!progressWnd_) DiagLog::Write(L"The progress window did not appear; the download goes on without it");
}

void CPrinterList::PostProgress(LPARAM stage) const {
  if (progressWnd_) ::PostMessageW(progressWnd_, WM_PROGRESS_MSG, 0, stage);
}

void CPrinterList::TerminateProgressThrd() {
  DiagLog::Write(L"TerminateProgressThrd()");
  if (!progressThread_.Started()) return;
  progressDlg_->RequestEnd();
  ::ShowWindow(GetSafeHwnd(), SW_SHOWNORMAL);
  while (progressRunning.load()) ::Sleep(kPollMs);
}

int CPrinterList::DownloadFirmware(const wchar_t* printerName) {
  DialogObserver observer(*this, printerName);
  return RunFirmwareWorkflow(printerName, observer).ReturnValue();
}
