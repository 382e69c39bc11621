// The simulated machine as the program sees it: installed printers of each connection kind with
// a simulated printer behind them, the firmware images beside the program, and the program
// itself running on a user-interface thread of its own, driven as a user would.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "network/printer_on_loopback.h"
#include "platform/win32.h"
#include "printer/printer.h"

namespace app_test {

constexpr wchar_t kProgramDirectory[] = L"C:\\Program Files\\TVQ\\";
constexpr wchar_t kDriver[] = L"TV Vexline Q5530n MFP";
constexpr wchar_t kCaption[] = L"Firmware Download Utility";
// The main dialog's title, with the version the build read from version.h.
constexpr wchar_t kMainDialogTitle[] = L"TVQ5530 MFP Series Firmware Download Utility (" CORVEL_EXPECTED_VERSION ")";
constexpr UINT kBoxError = MB_ICONERROR | MB_TOPMOST;
constexpr UINT kBoxWarning = MB_ICONWARNING | MB_TOPMOST;

// Puts the program at kProgramDirectory, gives the host the program's resources and lets no wait for an object time out in less than a second of real
// time. Every test of the program calls it first.
void PrepareProgram();
// Writes an image of `version` (file type 2 for the network model's files) beside the program.
void WriteImage(const std::wstring& fileName, const std::string& version, uint32_t bodySize = 4096);

// A supported printer installed on the spooler, with a simulated printer behind its port.
struct InstalledPrinter {
  std::unique_ptr<simprinter::Printer> local;                      // USB and parallel
  std::unique_ptr<testing_support::PrinterOnLoopback> network;     // network
  simprinter::Printer& printer() { return local ? *local : network->printer(); }
};
// Only one USB printer per test (the USB device has a fixed parent ID prefix). The device's
// instance ID carries the network model's vendor and product IDs unless `instanceId` says.
constexpr wchar_t kUsbInstance[] = L"USB\\VID_7E51&PID_A717\\SN0001";
InstalledPrinter InstallUsbPrinter(const std::wstring& name, simprinter::PrinterSettings settings = {},
                                   const std::wstring& port = L"USB001", const std::wstring& instanceId = kUsbInstance);
InstalledPrinter InstallParallelPrinter(const std::wstring& name, simprinter::PrinterSettings settings = {});
// With a `hostName`, the port's address is that name, which the name service resolves to the
// printer's loopback address.
// With `acceptNothing`, connects to the printer never complete.
InstalledPrinter InstallNetworkPrinter(const std::wstring& name, simprinter::PrinterSettings settings = {},
                                       const std::string& hostName = "", bool acceptNothing = false);

struct Box {
  std::wstring text;
  std::wstring caption;
  UINT flags = 0;
  bool mainDialogShown = false;  // the program's main dialog was visible when the box opened
};

// The program (CcorvelApp::InitInstance) on a thread of its own.
class RunningProgram {
 public:
  RunningProgram();
  // Closes the main dialog if it is still open and waits for the program to end.
  ~RunningProgram();

  // The main dialog once its list has been built (the UI thread is back in its message loop).
  HWND MainDialog();
  // Each row's three cells.
  std::vector<std::vector<std::wstring>> Rows();
  int SelectedRow();
  // Selects this row alone, as a click on it would.
  void Select(int row);
  // Presses a button of the main dialog and returns at once.
  void Press(int id);
  // Waits until the UI thread waits for messages (a message box's loop counts).
  void WaitIdle();
  // Waits until the UI thread is back in the dialog's loop with no message box open.
  void WaitUntilSettled();
  // Closes the main dialog and waits for the program's end; InitInstance's result.
  BOOL Finish();

 private:
  int builds_;  // lists built before this run
  std::thread thread_;
  HWND dialog_ = nullptr;
  BOOL result_ = TRUE;
  bool finished_ = false;
};

// Message boxes are answered with OK as they open (PrepareProgram turns this on), or left open
// for the test to answer.
void AnswerBoxesAtOnce(bool atOnce);
// Message boxes shown since the machine was reset, in order.
std::vector<Box> Boxes();
// The next box not yet returned by NextBox (waits for it).
Box NextBox();
// With boxes left open: waits for an open box, counts them, answers the oldest with OK.
Box WaitForOpenBox();
int OpenBoxCount();
void AnswerOpenBox();

// The interface and default languages the message boxes read.
void SetLanguages(LANGID userUi, LANGID systemUi, LANGID userDefault, LANGID systemDefault);

}  // namespace app_test
