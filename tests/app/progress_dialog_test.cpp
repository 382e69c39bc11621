// The progress dialog on its own thread, driven by posted messages as the workflow drives it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/printer_list.h"
#include "app/progress_messages.h"
#include "app/resource.h"
#include "app_machine.h"
#include "host/machine.h"
#include "host/windows.h"
#include "ui/ui_thread.h"

namespace {

// The dialog running on a user-interface thread, as the workflow starts it.
struct RunningProgress {
  CProgressDlg dialog;
  ui::UiThread thread;
  HWND window = nullptr;

  RunningProgress() {
    progressRunning.store(true);
    EXPECT_TRUE(thread.Start(&ProgressThreadProc, &dialog));
    window = dialog.WaitForWindow(10000);
    EXPECT_NE(window, nullptr);
  }
  ~RunningProgress() {
    dialog.RequestEnd();
    WaitForSingleObject(thread.Handle(), INFINITE);
    EXPECT_FALSE(progressRunning.load());
  }
  // Posts a stage and waits until the dialog has taken it.
  void Stage(LPARAM code) const {
    PostMessageW(window, WM_PROGRESS_MSG, 0, code);
    EXPECT_TRUE(host::windows::WaitUntilIdle(window, 60000));
  }
  std::wstring Line() const {
    wchar_t text[512] = {};
    GetDlgItemTextW(window, IDC_STAGE_LINE, text, 512);
    return text;
  }
  int Position() const { return static_cast<int>(SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0)); }
};

TEST(ProgressDialog, EachStageShowsItsLineAndStartsAnEmptyBar) {
  app_test::PrepareProgram();
  RunningProgress progress;
  EXPECT_EQ(progress.Line(), L"");
  const struct {
    LPARAM code;
    const wchar_t* line;
  } stages[] = {
      {1, L"Checking the current state of the Printer ..."}, {0, L"Busy"}, {2, L"Busy"},
      {3, L"Attempting to repair Printer ..."},               {4, L"Busy"}, {5, L"Retrieving Printer hardware Culture ..."},
      {6, L"Downloading new Firmware ..."},                   {7, L"Busy"},
  };
  for (const auto& stage : stages) {
    SCOPED_TRACE(stage.code);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a few virtual seconds: the bar moves
    progress.Stage(stage.code);
    EXPECT_EQ(progress.Line(), stage.line);
    EXPECT_EQ(progress.Position(), 0);
  }
}

// The bar climbs one step every 200 ms and starts again after 100: watched for two sweeps.
void ExpectTheBarToWrap(const RunningProgress& progress) {
  int highest = 0;
  bool wrapped = false;
  int previous = progress.Position();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!wrapped && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int now = progress.Position();
    highest = std::max(highest, now);
    wrapped = now < previous && previous >= 95;
    previous = now;
  }
  EXPECT_TRUE(wrapped) << "highest position " << highest;
}

TEST(ProgressDialog, TheBarWrapsWithOrWithoutTheTaskbarObject) {
  for (bool taskbar : {true, false}) {
    SCOPED_TRACE(taskbar);
    host::ResetMachine();
    app_test::PrepareProgram();
    if (!taskbar) host::windows::SetTaskbarListFailure(REGDB_E_CLASSNOTREG);
    RunningProgress progress;
    progress.Stage(6);
    EXPECT_EQ(progress.Line(), L"Downloading new Firmware ...");
    ExpectTheBarToWrap(progress);
    // With the taskbar object the dialog takes its button off the taskbar when it paints.
    host::windows::TaskbarListCalls calls = host::windows::TaskbarList();
    EXPECT_EQ(calls.created, taskbar ? 1 : 0);
    EXPECT_EQ(!calls.deletedTabs.empty() && calls.deletedTabs.back() == progress.window, taskbar);
  }
}

TEST(ProgressDialog, AnEndAskedBeforeTheWindowExistsStillEndsIt) {
  app_test::PrepareProgram();
  CProgressDlg dialog;
  dialog.RequestEnd();
  ui::UiThread thread;
  progressRunning.store(true);
  ASSERT_TRUE(thread.Start(&ProgressThreadProc, &dialog));
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 60000), WAIT_OBJECT_0);
  EXPECT_FALSE(progressRunning.load());
}

}  // namespace
