// The program from its start to its main dialog: the printer list, the selection rule, the
// single instance.
#include <gtest/gtest.h>

#include "app/corvel_app.h"
#include "app_machine.h"
#include "host/clock.h"
#include "host/machine.h"
#include "host/ports.h"
#include "host/windows.h"
#include "support/trace.h"

namespace {

using app_test::Box;
using app_test::InstallNetworkPrinter;
using app_test::InstallParallelPrinter;
using app_test::InstallUsbPrinter;
using app_test::RunningProgram;
using testing_support::TraceCount;

using Rows = std::vector<std::vector<std::wstring>>;

TEST(MainDialog, ListsEachKindOfPrinterWithItsVersionOnce) {
  app_test::PrepareProgram();
  auto usb = InstallUsbPrinter(L"TV Vexline Q5530n MFP", {});
  simprinter::PrinterSettings old;
  old.version = 199;
  auto network = InstallNetworkPrinter(L"Office", old);
  auto parallel = InstallParallelPrinter(L"TV Vexline Q5530 MFP LPT", {});

  RunningProgram program;
  HWND dialog = program.MainDialog();
  wchar_t title[128] = {};
  GetWindowTextW(dialog, title, 128);
  EXPECT_STREQ(title, L"TVQ5530 MFP Series Firmware Download Utility (1.2.0.6)");
  EXPECT_EQ(program.Rows(), (Rows{{L"TV Vexline Q5530n MFP", L"USB", L"215"},
                                  {L"Office", L"Network", L"199"},
                                  {L"TV Vexline Q5530 MFP LPT", L"Parallel", L"215"}}));
  EXPECT_EQ(program.SelectedRow(), -1);

  // Only the first timer builds the list.
  PostMessageW(dialog, WM_TIMER, 7, 0);
  program.WaitIdle();
  EXPECT_EQ(TraceCount(L"BuildList()"), 1);
  EXPECT_EQ(program.Finish(), FALSE);
  EXPECT_TRUE(app_test::Boxes().empty());
  // Start-up registered the common controls and kept libraries to the system directory.
  EXPECT_EQ(host::windows::CommonControlClasses(), static_cast<DWORD>(ICC_WIN95_CLASSES));
  EXPECT_EQ(host::CallCount("SetDefaultDllDirectories"), 1);
}

TEST(MainDialog, OnlyASinglePrinterIsSelected) {
  struct Case {
    int printers;
    int selected;
  };
  for (const Case& c : {Case{1, 0}, Case{2, -1}}) {
    SCOPED_TRACE(c.printers);
    host::ResetMachine();
    app_test::PrepareProgram();
    auto first = InstallParallelPrinter(L"TV Vexline Q5530 MFP", {});
    auto second = c.printers > 1 ? InstallNetworkPrinter(L"Office") : app_test::InstalledPrinter{};

    RunningProgram program;
    program.MainDialog();
    EXPECT_EQ(program.SelectedRow(), c.selected);
    if (c.selected < 0) {
      // Nothing selected: one warning, and no progress dialog.
      program.Press(IDOK);
      Box box = app_test::NextBox();
      EXPECT_EQ(box.text, L"There are no printers selected.");
      EXPECT_EQ(box.flags, app_test::kBoxWarning);
      EXPECT_EQ(host::CallCount("CreateThread"), 0);
    }
    program.Finish();
  }
}

TEST(MainDialog, PrintersTheSpoolerCannotDescribeAreCountedButNotShown) {
  app_test::PrepareProgram();
  auto printer = InstallParallelPrinter(L"TV Vexline Q5530 MFP", {});
  // The second opening of the printer is GetPrinterInfo's (the first finds its port).
  host::FailCall("OpenPrinterW", ERROR_INVALID_PRINTER_NAME, 1, 1);

  RunningProgram program;
  program.MainDialog();
  EXPECT_EQ(host::CallCount("OpenPrinterW"), 2);
  EXPECT_TRUE(program.Rows().empty());
  program.Finish();
  EXPECT_TRUE(app_test::Boxes().empty());  // counted: no "No printers found."
}

TEST(MainDialog, PrintersWithoutVersionAreLeftOutAndNoneFoundIsSaid) {
  app_test::PrepareProgram();
  simprinter::FaultRule silentVersion;
  silentVersion.command = 1;
  silentVersion.faults.status = 0;
  auto printer = InstallNetworkPrinter(L"Office");
  printer.printer().AddFault(silentVersion);

  RunningProgram program;
  Box box = app_test::NextBox();
  EXPECT_EQ(box.text, L"No printers found.");
  EXPECT_EQ(box.flags, app_test::kBoxError);
  EXPECT_EQ(box.caption, app_test::kCaption);
  EXPECT_TRUE(program.Rows().empty());
  program.Finish();
}

// A network printer whose connection never completes holds the list up for the 5 s connect bound
// only, and is left out.
TEST(MainDialog, APrinterThatNeverAnswersTheConnectionIsLeftOutAfterFiveSeconds) {
  app_test::PrepareProgram();
  auto office = InstallNetworkPrinter(L"Office");
  auto basement = InstallNetworkPrinter(L"Basement", {}, "", true);

  RunningProgram program;
  EXPECT_EQ(program.Rows(), (Rows{{L"Office", L"Network", L"215"}}));
  const std::string& address = basement.network->address();
  EXPECT_EQ(TraceCount(L"NetConnect: no answer from " + std::wstring(address.begin(), address.end()) +
                       L" within 5000 ms"),
            1);
  EXPECT_EQ(host::clock::WaitsOf("select"), std::vector<DWORD>{5000});
  program.Finish();
}

TEST(MainDialog, AnAddressWithoutExactAnsiFormIsNotUsed) {
  // Full-width digits best-fit to the printer's real address; they must not reach it.
  app_test::PrepareProgram();
  auto printer = InstallNetworkPrinter(L"Office");
  std::wstring fullWidth;
  for (char c : printer.network->address()) fullWidth += c == '.' ? L'.' : static_cast<wchar_t>(0xFF10 + (c - '0'));
  host::ports::AnswerIPAddress(L"IP_" + std::wstring(printer.network->address().begin(), printer.network->address().end()),
                               fullWidth);

  RunningProgram program;
  EXPECT_EQ(app_test::NextBox().text, L"No printers found.");
  EXPECT_TRUE(printer.printer().Events().empty());
  program.Finish();
}

TEST(MainDialog, ASecondCopyOnlySaysSo) {
  app_test::PrepareProgram();
  RunningProgram first;
  first.MainDialog();
  EXPECT_EQ(app_test::NextBox().text, L"No printers found.");  // nothing installed
  {
    CcorvelApp second;
    std::thread run([&second] { EXPECT_EQ(second.InitInstance(), FALSE); });
    Box box = app_test::NextBox();
    run.join();
    EXPECT_EQ(box.text, L"Another instance of this program is already running.");
    EXPECT_EQ(box.flags, app_test::kBoxError);
  }
  EXPECT_EQ(TraceCount(L"BuildList()"), 1);  // the second copy showed no dialog
  first.Finish();

  // The mutex is gone with the first copy: a new one starts normally.
  RunningProgram third;
  third.MainDialog();
  EXPECT_EQ(TraceCount(L"BuildList()"), 2);
  third.Finish();
}

}  // namespace
