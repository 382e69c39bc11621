// The progress dialog on its own thread, driven by posted messages as the workflow drives it.
#include <gtest/gtest.h>

#include "app/printer_list.h"
#include "app/progress_messages.h"
#include "app/resource.h"
#include "app_machine.h"
#include "host/clock.h"
#include "host/windows.h"
#include "support/cases.h"
#include "ui/ui_thread.h"

namespace {

// The dialog running on a user-interface thread, as the workflow starts it, on a stopped host
// clock: the wait for its window ends only by the window, and its bar moves only when the test
// moves the clock.
struct RunningProgress {
  CProgressDlg dialog;
  ui::UiThread thread;
  HWND window = nullptr;

  RunningProgress() {
    host::clock::Freeze();
    progressRunning.store(true);
    EXPECT_TRUE(thread.Start(&ProgressThreadProc, &dialog));
    window = dialog.WaitForWindow(10000);
    EXPECT_NE(window, nullptr);
  }
  ~RunningProgress() {
    dialog.RequestEnd();
    WaitForSingleObject(thread.Handle(), INFINITE);
    EXPECT_FALSE(progressRunning.load());
    host::clock::Thaw();
  }
  // Posts a message and waits until the dialog has taken it and every timer tick now due.
  void Deliver(UINT message, LPARAM code) const {
    PostMessageW(window, message, 0, code);
    EXPECT_TRUE(host::windows::WaitUntilIdle(window, 60000));
  }
  void Stage(LPARAM code) const { Deliver(WM_PROGRESS_MSG, code); }
  // Moves the clock on by `milliseconds` (one timer tick at most) and lets the dialog take it.
  void Pass(DWORD milliseconds) const {
    host::clock::Step(milliseconds);
    Deliver(WM_NULL, 0);
  }
  std::wstring Line() const {
    wchar_t text[512] = {};
    GetDlgItemTextW(window, IDC_STAGE_LINE, text, 512);
    return text;
  }
  int Position() const { return static_cast<int>(SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0)); }
};

constexpr DWORD kTick = 200;

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
    for (int tick = 0; tick < 3; ++tick) progress.Pass(kTick);  // positions 0, 1, 2
    ASSERT_EQ(progress.Position(), 2);
    progress.Stage(stage.code);
    EXPECT_EQ(progress.Line(), stage.line);
    EXPECT_EQ(progress.Position(), 0);
  }
}

TEST(ProgressDialog, TheBarClimbsOneStepEveryTickAndWrapsAfterAHundredWithOrWithoutTheTaskbarObject) {
  for (bool taskbar : {true, false}) {
    SCOPED_TRACE(taskbar);
    testing_support::NextCase(taskbar ? "taskbar object" : "no taskbar object");
    app_test::PrepareProgram();
    if (!taskbar) host::windows::SetTaskbarListFailure(REGDB_E_CLASSNOTREG);
    RunningProgress progress;
    progress.Stage(6);
    EXPECT_EQ(progress.Line(), L"Downloading new Firmware ...");
    // After the stage the first tick shows the empty bar again, each later one a step more.
    progress.Pass(kTick);
    progress.Pass(kTick - 1);
    EXPECT_EQ(progress.Position(), 0);
    progress.Pass(1);
    EXPECT_EQ(progress.Position(), 1);
    for (int step = 2; step <= 100; ++step) progress.Pass(kTick);
    EXPECT_EQ(progress.Position(), 100);
    progress.Pass(kTick);
    EXPECT_EQ(progress.Position(), 0);
    progress.Pass(kTick);
    EXPECT_EQ(progress.Position(), 1);
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
