// The progress dialog: stands in for the hidden main dialog while a firmware download runs. It
// runs modally on a user-interface thread of its own, shows a line naming the current stage and
// keeps a progress bar moving on a timer. The workflow drives it only by posted messages
// (progress_messages.h).
#pragma once

#include <atomic>

#include "platform/unique_handle.h"
#include "platform/win32.h"
#include "ui/dialog.h"
#include "ui/progress_bar.h"

class CProgressDlg : public ui::Dialog {
 public:
  static constexpr size_t kStageChars = 512;

  CProgressDlg();
  ~CProgressDlg() override;

  // Where the main dialog stands; the progress dialog opens at its top-left corner.
  RECT normalRect{};

  // For the workflow's thread: waits up to `timeoutMs` for the dialog's window and returns it,
  // or null when it did not appear in time (on the window's event, or, when that could not be
  // created, by looking at the published handle every 20 ms).
  HWND WaitForWindow(DWORD timeoutMs);
  // For the workflow's thread: asks the dialog to end. A window that already exists gets
  // WM_PROGRESS_TERMINATE; one that appears later ends as soon as it is set up. Returns
  // whether the message was posted.
  bool RequestEnd();

 protected:
  BOOL OnInitDialog() override;
  bool OnPaint() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  HICON OnQueryDragIcon() override { return icon_; }
  bool OnTimer(UINT_PTR timerId) override;
  void OnDestroy() override;
  bool OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  LRESULT OnProgressMsg(WPARAM wParam, LPARAM lParam);
  LRESULT OnTerminate(WPARAM wParam, LPARAM lParam);

  HICON icon_;
  unsigned stepCount = 0;
  ITaskbarList* taskbarList = nullptr;
  bool comInitialized_ = false;
  ui::ProgressBar progress_;

  // Set by OnInitDialog once the window exists (manual reset; null when it could not be created);
  // the window handle is published before it is set.
  platform::UniqueKernelHandle windowReady_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<bool> endRequested_{false};
};
