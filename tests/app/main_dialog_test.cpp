// The program from its start to its main dialog: the printer list, the selection rule, the
// single instance.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/corvel_app.h"
#include "app_machine.h"
#include "discovery/error_lines.h"
#include "host/clock.h"
#include "host/display.h"
#include "host/files.h"
#include "host/libraries.h"
#include "host/machine.h"
#include "host/network.h"
#include "host/ports.h"
#include "host/windows.h"
#include "support/cases.h"
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
  EXPECT_STREQ(title, app_test::kMainDialogTitle);
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

TEST(MainDialog, EachRowIsPrecededByAPause) {
  // Network printers, whose queries do not sleep: only the pauses before the rows are left.
  struct Case {
    const char* name;
    bool firstAnswers;
    std::vector<DWORD> sleeps;
  };
  for (const Case& c : {Case{"two rows", true, {100, 100}}, Case{"one without version, one row", false, {100}}}) {
    SCOPED_TRACE(c.name);
    testing_support::NextCase(c.name);
    app_test::PrepareProgram();
    auto first = InstallNetworkPrinter(L"Office");
    auto second = InstallNetworkPrinter(L"Lab");
    if (!c.firstAnswers) {
      simprinter::FaultRule noVersion;
      noVersion.command = 1;
      noVersion.faults.status = 0;
      first.printer().AddFault(noVersion);
    }
    RunningProgram program;
    program.MainDialog();
    EXPECT_EQ(program.Rows().size(), c.sleeps.size());
    EXPECT_EQ(host::clock::WaitsOf("Sleep"), c.sleeps);
    program.Finish();
  }
}

TEST(MainDialog, EachPrinterIsAskedAtTheAddressItsLookupFound) {
  // A USB or network printer whose lookup fails is left out unasked; a parallel printer has no
  // address of its own and is asked with the one found for the printer listed before it.
  struct Case {
    const char* name;
    void (*fault)(const std::wstring& networkPort);
    Rows rows;
  };
  const Case cases[] = {
      {"every lookup found", nullptr,
       {{L"TV Vexline Q5530n MFP", L"USB", L"215"}, {L"Office", L"Network", L"215"}, {L"Parallel", L"Parallel", L"215"}}},
      {"USB device lookup fails", [](const std::wstring&) { host::FailCall("SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER); },
       {{L"Office", L"Network", L"215"}, {L"Parallel", L"Parallel", L"215"}}},
      {"network address lookup fails", [](const std::wstring& port) { host::ports::FailIPAddress(port, ERROR_ACCESS_DENIED); },
       {{L"TV Vexline Q5530n MFP", L"USB", L"215"}, {L"Parallel", L"Parallel", L"215"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::NextCase(c.name);
    app_test::PrepareProgram();
    auto usb = InstallUsbPrinter(L"TV Vexline Q5530n MFP", {});
    auto network = InstallNetworkPrinter(L"Office");
    auto parallel = InstallParallelPrinter(L"Parallel", {});
    const std::string& address = network.network->address();
    if (c.fault) c.fault(L"IP_" + std::wstring(address.begin(), address.end()));

    RunningProgram program;
    program.MainDialog();
    EXPECT_EQ(program.Rows(), c.rows);
    EXPECT_EQ(TraceCount(L"GetVersionString"), static_cast<int>(c.rows.size()));
    if (!c.fault) {
      std::vector<std::wstring> texts = testing_support::TraceTexts();
      auto lpt = std::find(texts.begin(), texts.end(), L"printer is LPT\n");
      ASSERT_LT(lpt + 1, texts.end());
      EXPECT_EQ(lpt[1], std::wstring(address.begin(), address.end()));
    }
    program.Finish();
  }
}

TEST(MainDialog, OnlyASinglePrinterIsSelected) {
  struct Case {
    int printers;
    int selected;
  };
  for (const Case& c : {Case{1, 0}, Case{2, -1}}) {
    SCOPED_TRACE(c.printers);
    testing_support::NextCase(std::to_string(c.printers) + " printers");
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

TEST(MainDialog, TheSpoolerComesFromTheSystemDirectoryOrTheListStaysEmpty) {
  // A "winspool.drv" planted beside the program is never the one loaded; without the system's,
  // the program says why in its trace and finds no printers.
  struct Case {
    const char* what;
    std::function<void()> fault;
    const wchar_t* line;  // the trace line naming the failure, or null
    DWORD error;          // the loader's error, which the spooler call reports as its own
  };
  const Case cases[] = {
      {"planted beside the program", [] {}, nullptr, 0},
      {"library missing", [] { host::libraries::SetPresent(L"winspool.drv", false); },
       L"LoadLibraryExW(winspool.drv) failed gle=126", ERROR_MOD_NOT_FOUND},
      {"entry point missing", [] { host::libraries::RemoveEntryPoint(L"winspool.drv", "EnumPrintersW"); },
       L"GetProcAddress(winspool.drv, EnumPrintersW) failed gle=127", ERROR_PROC_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing_support::NextCase(c.what);
    app_test::PrepareProgram();
    host::WriteFile(std::wstring(app_test::kProgramDirectory) + L"winspool.drv", "planted");
    auto usb = InstallUsbPrinter(L"TV Vexline Q5530n MFP", {});
    c.fault();

    RunningProgram program;
    program.MainDialog();
    if (c.line) {
      EXPECT_EQ(TraceCount(c.line), 1);
      EXPECT_TRUE(discovery_test::ErrorTraced(L"  EnumPrinters failed", c.error));
      EXPECT_TRUE(program.Rows().empty());
      ASSERT_EQ(app_test::Boxes().size(), 1u);
      EXPECT_EQ(app_test::Boxes()[0].text, L"No printers found.");
    } else {
      EXPECT_EQ(program.Rows(), (Rows{{L"TV Vexline Q5530n MFP", L"USB", L"215"}}));
    }
    program.Finish();
    // A library that loaded is kept for the life of the process.
    EXPECT_EQ(host::libraries::References(L"winspool.drv"), c.error == ERROR_MOD_NOT_FOUND ? 0 : 1);
  }
}

TEST(MainDialog, ColumnWidthsFollowTheDisplayDpi) {
  struct Case {
    UINT dpi;
    bool dpiForWindow;  // user32 has GetDpiForWindow; else the screen DC tells
    std::vector<int> widths;
  };
  const Case cases[] = {{96, true, {200, 100, 200}}, {144, true, {300, 150, 300}}, {144, false, {300, 150, 300}}};
  LONG widthAt96 = 0;
  for (const Case& c : cases) {
    const std::string label = std::to_string(c.dpi) + (c.dpiForWindow ? " GetDpiForWindow" : " LOGPIXELSX");
    SCOPED_TRACE(label);
    testing_support::NextCase(label);
    app_test::PrepareProgram();
    host::display::SetDpi(c.dpi);
    if (!c.dpiForWindow) host::libraries::RemoveEntryPoint(L"user32.dll", "GetDpiForWindow");

    RunningProgram program;
    HWND dialog = program.MainDialog();
    HWND list = GetDlgItem(dialog, 105);
    std::vector<int> widths;
    for (int column = 0; column < 3; ++column) {
      widths.push_back(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)));
    }
    EXPECT_EQ(widths, c.widths);
    RECT frame{};
    GetWindowRect(dialog, &frame);
    if (c.dpi == 96) {
      widthAt96 = frame.right - frame.left;
    } else {
      EXPECT_GT(frame.right - frame.left, widthAt96);
    }
    EXPECT_EQ(host::CallCount("GetDC"), c.dpiForWindow ? 0 : 1);
    program.Finish();
  }
}

// Moved from a 100 % display to a 200 % one, the dialog takes the suggested rectangle and the
// columns are rescaled from their widths at 96 DPI.
TEST(MainDialog, ColumnsFollowAMoveToADisplayOfAnotherDpi) {
  app_test::PrepareProgram();
  RunningProgram program;
  HWND dialog = program.MainDialog();
  HWND list = GetDlgItem(dialog, 105);
  RECT before{};
  GetWindowRect(dialog, &before);
  EXPECT_EQ(host::display::MoveToDisplay(dialog, 192), 0);
  std::vector<int> widths;
  for (int column = 0; column < 3; ++column) {
    widths.push_back(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)));
  }
  EXPECT_EQ(widths, (std::vector<int>{400, 200, 400}));
  RECT after{};
  GetWindowRect(dialog, &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right - after.left, 2 * (before.right - before.left));
  EXPECT_EQ(after.bottom - after.top, 2 * (before.bottom - before.top));
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
