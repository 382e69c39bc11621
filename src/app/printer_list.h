// The main dialog: the installed printers of the supported driver with their connection and
// firmware version, a "Download Firmware" button that runs the download workflow for the
// selected printer, and "Close". The list is built once, shortly after the dialog shows.
#pragma once

#include <atomic>
#include <memory>

#include "app/progress_dlg.h"
#include "engine/engine_context.h"
#include "platform/win32.h"
#include "ui/dialog.h"
#include "ui/list_view.h"
#include "ui/ui_thread.h"

// Set while a progress dialog's thread runs its dialog.
extern std::atomic<bool> progressRunning;

// Thread procedure of the progress thread: runs the progress dialog `dialog` modally.
DWORD WINAPI ProgressThreadProc(LPVOID dialog);

class CPrinterList : public ui::Dialog {
 public:
  static constexpr size_t kNameChars = 256;

  CPrinterList();
  ~CPrinterList() override;

  // Fills the list; returns 1.
  int BuildList();
  // The "Download Firmware" button: runs the workflow for the selected printer.
  void OnDownloadFirmware();
  // The workflow for one printer. Returns 1 when the engine was asked to decide (whatever the
  // outcome), 0 when it stopped with an error box before that.
  int DownloadFirmware(const wchar_t* printerName);
  // By the printer's port name: "USB" in it, USB; else "LPT", parallel; else network.
  static ConnectionKind GetConnectionKind(const wchar_t* printerName);
  // Ends the progress dialog, shows the main dialog and waits until the progress thread is done.
  void TerminateProgressThrd();

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  bool OnTimer(UINT_PTR timerId) override;
  bool OnDpiChanged(int dpi, const RECT& suggested) override;

 private:
  // Starts the progress dialog on its own thread where the main dialog stands, hides the main
  // dialog and waits for the progress window.
  void StartProgressDialog();
  // Posts a stage to the progress window, if there is one.
  void PostProgress(LPARAM stage) const;
  class DialogObserver;

  ui::ListView list_;
  ui::UiThread progressThread_;
  std::unique_ptr<CProgressDlg> progressDlg_;
  HWND progressWnd_ = nullptr;
};
