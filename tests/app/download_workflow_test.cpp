// The download workflow as the user starts it from the main dialog: every way it ends, the
// burn itself, and what it leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>

#include "app/printer_list.h"
#include "engine/engine_context.h"
#include "app_machine.h"
#include "host/clock.h"
#include "host/files.h"
#include "host/machine.h"
#include "host/process.h"
#include "host/services.h"
#include "host/sockets.h"
#include "host/windows.h"
#include "support/cases.h"
#include "support/trace.h"

namespace {

using app_test::Box;
using app_test::RunningProgram;
using testing_support::TraceCount;

const wchar_t kUsbName[] = L"TV Vexline Q5530n MFP";

simprinter::FaultRule StatusFault(uint16_t command, uint16_t status) {
  simprinter::FaultRule rule;
  rule.command = command;
  rule.faults.status = status;
  return rule;
}

// Runs one download of the only (selected) printer and returns the boxes it showed. Every run
// pauses 300 ms before it hides the main dialog and 1000 ms after, and shows the dialog again
// before any box.
std::vector<Box> DownloadOnce(RunningProgram& program) {
  program.MainDialog();
  EXPECT_EQ(program.SelectedRow(), 0);
  size_t before = app_test::Boxes().size();
  host::clock::ClearWaits();
  program.Press(IDOK);
  program.WaitUntilSettled();
  std::vector<DWORD> sleeps = host::clock::WaitsOf("Sleep");
  sleeps.resize(std::min<size_t>(sleeps.size(), 2));
  EXPECT_EQ(sleeps, (std::vector<DWORD>{300, 1000}));
  std::vector<Box> boxes = app_test::Boxes();
  EXPECT_TRUE(IsWindowVisible(program.MainDialog()));
  EXPECT_FALSE(progressRunning.load());
  boxes.erase(boxes.begin(), boxes.begin() + static_cast<long>(before));
  for (const Box& box : boxes) EXPECT_TRUE(box.mainDialogShown) << ::testing::PrintToString(box.text);
  return boxes;
}

enum class Kind { Usb, UsbPortNamingLpt, Network };

TEST(DownloadWorkflow, EachFailureEndsInOneBox) {
  struct Case {
    const char* name;
    std::function<void(simprinter::PrinterSettings&)> settings;
    std::function<void(simprinter::Printer&)> setUp;
    const wchar_t* text;
    UINT flags;
    Kind kind = Kind::Usb;
  };
  const auto baseModel = [](simprinter::PrinterSettings& s) { s.model = "TV Vexline Q5530 MFP"; };
  const Case cases[] = {
      {"build information refused", nullptr, [](simprinter::Printer& p) { p.AddFault(StatusFault(19, 0)); },
       L"Unable to retrieve information from the printer.\n Please cycle power on the printer and try again later.",
       app_test::kBoxError},
      {"unknown culture", [](simprinter::PrinterSettings& s) { s.culture = "NORDIC"; }, nullptr,
       L"Unable to retrieve the printer front panel culture.\n Please cycle power on the printer and try again later.",
       app_test::kBoxError},
      {"no image for the variant", nullptr, nullptr, L"This Utility does not support a Network Printer with Western Control Panel.", app_test::kBoxError},
      {"base model, Asian panel, no image",
       [](simprinter::PrinterSettings& s) {
         s.model = "TV Vexline Q5530 MFP";
         s.culture = "ASIAN";
       },
       nullptr, L"This Utility does not support a Base Printer with Asian Control Panel.", app_test::kBoxError},
      {"base model, Western panel, no image", baseModel, nullptr,
       L"This Utility does not support a Base Printer with Western Control Panel.", app_test::kBoxError},
      // The model and culture rules, seen through the image each printer would need.
      {"both cultures named: Western", [](simprinter::PrinterSettings& s) { s.culture = "ASIAN WESTERN"; }, nullptr,
       L"This Utility does not support a Network Printer with Western Control Panel.", app_test::kBoxError},
      {"network printer naming the base model", baseModel, nullptr,
       L"This Utility does not support a Network Printer with Western Control Panel.", app_test::kBoxError, Kind::Network},
      {"port naming USB and LPT is USB", baseModel, nullptr,
       L"This Utility does not support a Base Printer with Western Control Panel.", app_test::kBoxError,
       Kind::UsbPortNamingLpt},
      {"already current", nullptr, [](simprinter::Printer&) { app_test::WriteImage(L"TVQ5530n.bin", "215"); },
       L"Firmware is current. No need to update at this time.", app_test::kBoxWarning},
      {"burn refused",
       nullptr,
       [](simprinter::Printer& p) {
         app_test::WriteImage(L"TVQ5530n.bin", "216");
         p.AddFault(StatusFault(15, 2));
       },
       L"Firmware download was not successful.", app_test::kBoxError},
      {"program path too long for the image",
       nullptr,
       [](simprinter::Printer&) {
         std::wstring directory = L"C:\\" + std::wstring(245, L'd') + L"\\";  // 249 characters
         host::WriteFile(directory + L"TVQ5530n.bin", "");
         host::SetModuleFileName(directory + L"corvel.exe");
       },
       L"The path of the firmware file is too long.\n Please move the program to a folder with a shorter path and "
       L"try again.",
       app_test::kBoxError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::NextCase(c.name);
    app_test::PrepareProgram();
    simprinter::PrinterSettings settings;
    if (c.settings) c.settings(settings);
    auto installed = c.kind == Kind::Network ? app_test::InstallNetworkPrinter(L"Office", settings)
                     : c.kind == Kind::Usb   ? app_test::InstallUsbPrinter(kUsbName, settings)
                                             : app_test::InstallUsbPrinter(kUsbName, settings, L"LPT1USB001");
    if (c.setUp) c.setUp(installed.printer());

    RunningProgram program;
    ASSERT_EQ(program.Rows().size(), 1u);
    // The printer is asked with the main dialog hidden behind the progress dialog.
    std::atomic<int> askedShown{0};
    std::atomic<int> asked{0};
    installed.printer().OnEvent([&](const simprinter::Event& event) {
      if (event.kind != simprinter::Event::kCommand) return;
      ++asked;
      if (IsWindowVisible(program.MainDialog())) ++askedShown;
    });
    std::vector<Box> boxes = DownloadOnce(program);
    installed.printer().OnEvent(nullptr);
    EXPECT_GE(asked.load(), 1);
    EXPECT_EQ(askedShown.load(), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.text);
    EXPECT_EQ(boxes[0].flags, c.flags);
    EXPECT_EQ(boxes[0].caption, app_test::kCaption);
    EXPECT_EQ(TraceCount(L"TerminateProgressThrd()"), 1);
    EXPECT_EQ(TraceCount(L"CProgressDlg::OnTerminate()"), 1);
    EXPECT_EQ(program.Rows()[0][2], L"215");  // not marked updated
    program.Finish();
  }
}

TEST(DownloadWorkflow, ASuccessfulBurnMarksTheRowAndThePrinterHasTheNewVersion) {
  app_test::PrepareProgram();
  auto installed = app_test::InstallUsbPrinter(kUsbName);
  app_test::WriteImage(L"TVQ5530n.bin", "216");

  RunningProgram program;
  program.MainDialog();
  // The burn runs on the program's thread, which keeps the computer awake for it.
  std::atomic<DWORD> burner{0};
  std::atomic<EXECUTION_STATE> duringBurn{0};
  installed.printer().OnEvent([&](const simprinter::Event& event) {
    if (event.kind != simprinter::Event::kCommand || event.command != 15) return;
    burner = GetCurrentThreadId();
    duringBurn = host::windows::ExecutionState(burner);
  });
  EXPECT_TRUE(DownloadOnce(program).empty());
  installed.printer().OnEvent(nullptr);
  EXPECT_EQ(duringBurn.load(), static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
  EXPECT_EQ(host::windows::ExecutionState(burner), static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
  EXPECT_EQ(program.Rows()[0][2], L"-- Updated --");
  EXPECT_EQ(installed.printer().Model().Version(), 216u);
  // The burn's printer-UI command would name this printer.
  EXPECT_STREQ(EngineContext().printerNameAnsi, "TV Vexline Q5530n MFP");
  // The stages the progress dialog was shown, in order.
  std::vector<std::wstring> stages;
  for (const std::wstring& line : testing_support::TraceTexts()) {
    if (line.rfind(L"CProgressDlg::OnProgressMsg() msg=", 0) == 0) stages.push_back(line.substr(34));
  }
  EXPECT_EQ(stages, (std::vector<std::wstring>{L"Checking the current state of the Printer ...",
                                               L"Retrieving Printer hardware Culture ...",
                                               L"Downloading new Firmware ..."}));
  EXPECT_EQ(host::CallCount("SetThreadExecutionState"), 2);
  program.Finish();
}

TEST(DownloadWorkflow, AParallelPrinterIsAskedAndBurnedThroughThePort) {
  app_test::PrepareProgram();
  const wchar_t kName[] = L"TV Vexline Q5530 MFP LPT";
  auto installed = app_test::InstallParallelPrinter(kName);
  app_test::WriteImage(L"TVQ5530.bin", "216");  // the base model's, Western panel

  RunningProgram program;
  program.MainDialog();
  const int stopsBefore = host::services::StopCount(L"Spooler");
  const int startsBefore = host::services::StartCount(L"Spooler");
  EXPECT_TRUE(DownloadOnce(program).empty());
  EXPECT_EQ(program.Rows()[0][2], L"-- Updated --");
  EXPECT_EQ(installed.printer().Model().Version(), 216u);
  EXPECT_EQ(installed.printer().Model().BurnCount(), 1);
  // The device ID, build information and version queries restart the spooler once each, the
  // burn twice; it runs again at the end.
  EXPECT_EQ(host::services::StopCount(L"Spooler") - stopsBefore, 5);
  EXPECT_EQ(host::services::StartCount(L"Spooler") - startsBefore, 5);
  EXPECT_EQ(host::services::StatusOf(L"Spooler").dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  // The burn's printer-UI command names the printer.
  std::vector<host::process::Launch> launches = host::process::Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].commandLine, "rundll32.exe printui.dll,PrintUIEntry /y /n \"TV Vexline Q5530 MFP LPT\"");
  program.Finish();
}

TEST(DownloadWorkflow, AMissingImageStaysMissingForTheRun) {
  app_test::PrepareProgram();
  auto installed = app_test::InstallUsbPrinter(kUsbName);
  RunningProgram program;
  const wchar_t kText[] = L"This Utility does not support a Network Printer with Western Control Panel.";
  std::vector<Box> first = DownloadOnce(program);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].text, kText);

  app_test::WriteImage(L"TVQ5530n.bin", "216");  // copied in meanwhile: not looked at again
  std::vector<Box> second = DownloadOnce(program);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].text, kText);
  EXPECT_EQ(installed.printer().Model().Version(), 215u);
  program.Finish();
}

TEST(DownloadWorkflow, ANetworkBurnIsFollowedByThirtyFiveSeconds) {
  app_test::PrepareProgram();
  auto installed = app_test::InstallNetworkPrinter(L"Office");
  app_test::WriteImage(L"TVQ5530n.bin", "216");

  RunningProgram program;
  host::clock::ClearWaits();
  EXPECT_TRUE(DownloadOnce(program).empty());
  std::vector<DWORD> sleeps = host::clock::WaitsOf("Sleep");
  EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 35000u), sleeps.end());
  installed.network->WaitForIdle();
  EXPECT_EQ(installed.printer().Model().Version(), 216u);
  EXPECT_EQ(program.Rows()[0][2], L"-- Updated --");
  program.Finish();
}

// A network printer that takes part of the image and then stops reading, its connection open:
// the burn gives up 20 s (host clock) after the printer took its last byte, and the workflow ends
// as for any failed burn, its 35 s wait included.
TEST(DownloadWorkflow, ANetworkPrinterThatStopsReadingMidImageEndsInTheFailureBox) {
  app_test::PrepareProgram();
  auto installed = app_test::InstallNetworkPrinter(L"Office");
  simprinter::ReadFaults stall;
  stall.stallAfter = 200000;
  installed.printer().SetReadFaults(stall);
  app_test::WriteImage(L"TVQ5530n.bin", "216", 1 << 20);

  RunningProgram program;
  program.MainDialog();
  host::clock::ClearWaits();
  std::vector<Box> boxes = DownloadOnce(program);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Firmware download was not successful.");
  EXPECT_EQ(boxes[0].flags, app_test::kBoxError);
  EXPECT_EQ(host::clock::WaitsOf("select"), std::vector<DWORD>{20000});
  std::vector<DWORD> sleeps = host::clock::WaitsOf("Sleep");
  EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 35000u), sleeps.end());
  std::vector<std::wstring> lines = testing_support::TraceTexts();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::wstring& line) { return line.rfind(L"NetBurn: send stalled at ", 0) == 0; }),
            1);
  EXPECT_EQ(installed.printer().Count(simprinter::Event::kStalled), 1);
  EXPECT_EQ(installed.printer().Model().Version(), 215u);
  EXPECT_EQ(program.Rows()[0][2], L"215");
  EXPECT_EQ(host::sockets::OpenSocketCount(), 0);
  EXPECT_EQ(host::sockets::StartCount(), 0);
  program.Finish();
}

}  // namespace

namespace {

TEST(DownloadWorkflow, ARunGoesOnWhenTheProgressWindowNeverAppears) {
  // The main dialog is up before the fault is set: only the progress dialog's start fails.
  for (const char* api : {"CreateThread", "DialogBoxParamW"}) {
    SCOPED_TRACE(api);
    testing_support::NextCase(api);
    app_test::PrepareProgram();
    auto installed = app_test::InstallUsbPrinter(kUsbName);
    app_test::WriteImage(L"TVQ5530n.bin", "215");
    RunningProgram program;
    program.MainDialog();
    host::FailCall(api, ERROR_NOT_ENOUGH_MEMORY);
    std::vector<Box> boxes = DownloadOnce(program);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Firmware is current. No need to update at this time.");
    EXPECT_EQ(TraceCount(L"CProgressDlg::OnProgressMsg() msg=Checking the current state of the Printer ..."), 0);
    // A thread that started is waited for, up to ten seconds, before the run goes on.
    EXPECT_EQ(TraceCount(L"The progress window did not appear; the download goes on without it"),
              std::string(api) == "DialogBoxParamW" ? 1 : 0);
    program.Finish();
  }
}

TEST(DownloadWorkflow, ARunEndsWhenTheProgressWindowHasNoEvent) {
  app_test::PrepareProgram();
  auto installed = app_test::InstallUsbPrinter(kUsbName);
  app_test::WriteImage(L"TVQ5530n.bin", "215");
  RunningProgram program;
  program.MainDialog();
  // The progress dialog's event is the run's first; the dialog's window handle stands in for it.
  host::FailCall("CreateEventW", ERROR_NOT_ENOUGH_MEMORY);
  std::vector<Box> boxes = DownloadOnce(program);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Firmware is current. No need to update at this time.");
  EXPECT_EQ(TraceCount(L"CProgressDlg::OnProgressMsg() msg=Checking the current state of the Printer ..."), 1);
  EXPECT_EQ(TraceCount(L"CProgressDlg::OnTerminate()"), 1);
  EXPECT_EQ(TraceCount(L"The progress window did not appear; the download goes on without it"), 0);
  program.Finish();
}

}  // namespace
