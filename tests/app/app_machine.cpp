#include "app_machine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "app/corvel_app.h"
#include "app/image_files.h"
#include "host/clock.h"
#include "host/devices.h"
#include "host/files.h"
#include "host/machine.h"
#include "host/network.h"
#include "host/ports.h"
#include "host/spooler.h"
#include "host/windows.h"
#include "image_builder.h"
#include "support/image_files.h"
#include "support/printer_device.h"
#include "support/program_resources.h"
#include "support/trace.h"

namespace app_test {

namespace {

constexpr int kListId = 105;

// Polls `done` on real time (the host's clock runs much faster) for up to a minute.
template <typename Done>
bool WaitFor(Done done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

void PrepareProgram() {
  RegisterProgramResources();
  host::SetModuleFileName(std::wstring(kProgramDirectory) + L"corvel.exe");
  AnswerBoxesAtOnce(true);
  // The workflow waits 10 s of host time for the progress window: a second of real time at least.
  host::clock::SetMinimumObjectWait(std::chrono::seconds(1));
}

namespace {

// Boxes left open: each waits in the responder until the test answers it.
struct OpenBoxes {
  std::mutex lock;
  std::condition_variable changed;
  int open = 0;
  int answers = 0;
};
OpenBoxes& Held() {
  static OpenBoxes held;
  return held;
}
size_t consumedBoxes = 0;

// Whether the main dialog was visible as each box opened, in the order the boxes opened.
std::mutex shownLock;
std::vector<bool> mainDialogShownAtBox;

void NoteMainDialog() {
  HWND dialog = host::windows::WaitForWindow(kMainDialogTitle, 0);
  std::lock_guard<std::mutex> guard(shownLock);
  mainDialogShownAtBox.push_back(dialog && IsWindowVisible(dialog));
}

Box ToBox(const host::windows::MessageBoxRecord& record, size_t index) {
  std::lock_guard<std::mutex> guard(shownLock);
  bool shown = index < mainDialogShownAtBox.size() && mainDialogShownAtBox[index];
  return Box{record.text, record.caption, record.type, shown};
}

}  // namespace

void AnswerBoxesAtOnce(bool atOnce) {
  consumedBoxes = 0;
  OpenBoxes& held = Held();
  {
    std::lock_guard<std::mutex> guard(held.lock);
    held.open = 0;
    held.answers = 0;
  }
  {
    std::lock_guard<std::mutex> guard(shownLock);
    mainDialogShownAtBox.clear();
  }
  if (atOnce) {
    host::windows::SetMessageBoxResponder([](const host::windows::MessageBoxRecord&) {
      NoteMainDialog();
      return IDOK;
    });
    return;
  }
  host::windows::SetMessageBoxResponder([&held](const host::windows::MessageBoxRecord&) {
    NoteMainDialog();
    std::unique_lock<std::mutex> guard(held.lock);
    ++held.open;
    held.changed.notify_all();
    held.changed.wait(guard, [&held] { return held.answers > 0; });
    --held.answers;
    --held.open;
    return IDOK;
  });
}

std::vector<Box> Boxes() {
  std::vector<Box> boxes;
  for (const auto& record : host::windows::MessageBoxes()) boxes.push_back(ToBox(record, boxes.size()));
  return boxes;
}

Box NextBox() {
  std::vector<host::windows::MessageBoxRecord> records;
  EXPECT_TRUE(WaitFor([&records] {
    records = host::windows::MessageBoxes();
    return records.size() > consumedBoxes;
  })) << "no message box";
  if (records.size() <= consumedBoxes) return Box{};
  size_t index = consumedBoxes++;
  return ToBox(records[index], index);
}

Box WaitForOpenBox() {
  OpenBoxes& held = Held();
  std::unique_lock<std::mutex> guard(held.lock);
  EXPECT_TRUE(held.changed.wait_for(guard, std::chrono::seconds(60), [&held] { return held.open > 0; }));
  guard.unlock();
  return NextBox();
}

int OpenBoxCount() {
  std::lock_guard<std::mutex> guard(Held().lock);
  return Held().open;
}

void AnswerOpenBox() {
  OpenBoxes& held = Held();
  std::lock_guard<std::mutex> guard(held.lock);
  ++held.answers;
  held.changed.notify_all();
}

void SetLanguages(LANGID userUi, LANGID systemUi, LANGID userDefault, LANGID systemDefault) {
  host::windows::SetUiLanguages(userUi, systemUi, userDefault, systemDefault);
}

void WriteImage(const std::wstring& fileName, const std::string& version, uint32_t bodySize) {
  fwimage::ImageLayout layout;
  layout.version = version;
  layout.bodySize = bodySize;
  bool networkModel = fileName.find(L"n.bin") != std::wstring::npos;
  layout.typeId = networkModel ? fwimage::kTypeId2 : fwimage::kTypeId1;
  testing_support::WriteImageFile(kProgramDirectory + fileName, layout);
}

namespace {

void Install(const std::wstring& name, const std::wstring& port) {
  host::spooler::AddPrinter(host::spooler::Printer{name, port, std::wstring(kDriver)});
}

}  // namespace

InstalledPrinter InstallUsbPrinter(const std::wstring& name, simprinter::PrinterSettings settings,
                                   const std::wstring& port, const std::wstring& instanceId) {
  InstalledPrinter installed;
  installed.local = std::make_unique<simprinter::Printer>(std::move(settings));
  testing_support::AddUsbPrinter(*installed.local, instanceId);
  host::devices::AddPrinterClassDevice(host::devices::PrinterClassDevice{L"USBPRINT\\TVVEXLINE\\7&1a&0&USB001", 0, port});
  Install(name, port);
  return installed;
}

InstalledPrinter InstallParallelPrinter(const std::wstring& name, simprinter::PrinterSettings settings) {
  InstalledPrinter installed;
  installed.local = std::make_unique<simprinter::Printer>(std::move(settings));
  testing_support::AttachToParallelPort(*installed.local);
  Install(name, L"LPT1:");
  return installed;
}

InstalledPrinter InstallNetworkPrinter(const std::wstring& name, simprinter::PrinterSettings settings,
                                       const std::string& hostName, bool acceptNothing) {
  InstalledPrinter installed;
  installed.network = std::make_unique<testing_support::PrinterOnLoopback>(std::move(settings), acceptNothing);
  const std::string& address = installed.network->address();
  if (!hostName.empty()) host::network::SetHostAddresses(hostName, {address});
  const std::string& portAddress = hostName.empty() ? address : hostName;
  std::wstring port = L"IP_" + std::wstring(portAddress.begin(), portAddress.end());
  host::ports::AddPort(host::ports::Port{port, L"Standard TCP/IP Port", L"Standard TCP/IP Port"});
  host::ports::AnswerIPAddress(port, std::wstring(portAddress.begin(), portAddress.end()));
  Install(name, port);
  return installed;
}

RunningProgram::RunningProgram() : builds_(testing_support::TraceCount(L"BuildList()")) {
  thread_ = std::thread([this] { result_ = CcorvelApp().InitInstance(); });
}

RunningProgram::~RunningProgram() {
  if (!finished_) Finish();
}

HWND RunningProgram::MainDialog() {
  if (!dialog_) {
    dialog_ = host::windows::WaitForWindow(kMainDialogTitle, 60000);
    EXPECT_NE(dialog_, nullptr) << "no main dialog";
    // The list is built on the dialog's first timer; once that is over the thread takes messages again.
    EXPECT_TRUE(WaitFor([this] { return testing_support::TraceCount(L"BuildList()") > builds_; }));
    WaitIdle();
  }
  return dialog_;
}

std::vector<std::vector<std::wstring>> RunningProgram::Rows() {
  HWND list = GetDlgItem(MainDialog(), kListId);
  std::vector<std::vector<std::wstring>> rows;
  int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    rows.emplace_back();
    for (int column = 0; column < 3; ++column) {
      wchar_t text[256] = {};
      LVITEMW cell{};
      cell.iSubItem = column;
      cell.pszText = text;
      cell.cchTextMax = 256;
      SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
      rows.back().push_back(text);
    }
  }
  return rows;
}

int RunningProgram::SelectedRow() {
  return static_cast<int>(
      SendMessageW(GetDlgItem(MainDialog(), kListId), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void RunningProgram::Select(int row) {
  HWND list = GetDlgItem(MainDialog(), kListId);
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

void RunningProgram::Press(int id) { PostMessageW(MainDialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

void RunningProgram::WaitIdle() { EXPECT_TRUE(host::windows::WaitUntilIdle(MainDialog(), 60000)); }

void RunningProgram::WaitUntilSettled() {
  auto anyOpen = [] {
    for (const auto& record : host::windows::MessageBoxes()) {
      if (record.open) return true;
    }
    return false;
  };
  do {
    WaitIdle();
  } while (anyOpen());
}

BOOL RunningProgram::Finish() {
  if (finished_) return result_;
  finished_ = true;
  if (dialog_ || (dialog_ = host::windows::WaitForWindow(kMainDialogTitle, 60000)) != nullptr) {
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  thread_.join();
  // The progress thread lowers its flag just before it returns, so the program may end a moment
  // before that thread has; a thread that does not end within the minute stays for the leak check.
  WaitFor([] {
    for (const std::string& item : host::OpenResources()) {
      if (item.find("still running") != std::string::npos) return false;
    }
    return true;
  });
  return result_;
}

}  // namespace app_test
