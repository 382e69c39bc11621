#include "cli/fleet.h"

#include <atomic>
#include <cstdio>
#include <iterator>

#include "app/firmware_workflow.h"
#include "app/listed_printers.h"
#include "app/printer_address.h"
#include "app/progress_dlg.h"
#include "app/progress_messages.h"
#include "cli/text.h"
#include "engine/engine_facade.h"
#include "engine/firmware_image.h"
#include "platform/unique_handle.h"

namespace {

constexpr DWORD kTickMs = 10000;

// Prints the stages of one printer's run with the time since it began; during the burn a line
// every ten seconds says that it goes on.
class PrintingObserver : public WorkflowObserver {
 public:
  PrintingObserver(const WorkflowOptions& options, InterruptGuard& guard)
      : options_(options), guard_(guard), start_(::GetTickCount64()) {}
  ~PrintingObserver() override { StopTicker(); }

  bool stopped() const { return stopped_; }

  void Started(ConnectionKind kind) override { kind_ = kind; }
  void Stage(LPARAM stage) override {
    Print(Utf8(CProgressDlg::StageLine(stage)));
    if (stage == STAGE_DOWNLOADING) StartTicker();
  }
  bool ProceedToBurn() override {
    if (!options_.burn) return false;
    if (!guard_.BeginBurn()) {
      stopped_ = true;
      return false;
    }
    burning_ = true;
    return true;
  }
  void Burned(bool success) override {
    burned_ = true;
    if (kind_ == CONNECTION_NETWORK) {
      Print(success ? "Burned; the printer restarts with its new firmware (35 s)"
                    : "The burn failed; waiting 35 s for the printer");
    }
  }
  void Finished(const WorkflowOutcome&) override {
    StopTicker();
    if (burning_) guard_.EndBurn();
    burning_ = false;
  }

 private:
  void Print(const std::string& text) {
    if (!options_.progress) return;
    char stamp[32] = {};
    std::snprintf(stamp, sizeof stamp, "  [%6.1f s] ", static_cast<double>(::GetTickCount64() - start_) / 1000.0);
    options_.progress->Out(stamp + text + "\n");
  }

  static DWORD WINAPI TickerProc(LPVOID self) {
    auto* observer = static_cast<PrintingObserver*>(self);
    while (::WaitForSingleObject(observer->tickerStop_.get(), kTickMs) == WAIT_TIMEOUT) {
      observer->Print(observer->burned_ ? "... waiting for the printer to restart"
                                        : "... the burn goes on; do not switch the printer off");
    }
    return 0;
  }
  void StartTicker() {
    if (!options_.progress || ticker_) return;
    tickerStop_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!tickerStop_) return;
    ticker_.reset(::CreateThread(nullptr, 0, &TickerProc, this, 0, nullptr));
  }
  void StopTicker() {
    if (!ticker_) return;
    ::SetEvent(tickerStop_.get());
    ::WaitForSingleObject(ticker_.get(), INFINITE);
    ticker_.reset();
    tickerStop_.reset();
  }

  const WorkflowOptions& options_;
  InterruptGuard& guard_;
  ULONGLONG start_;
  ConnectionKind kind_ = CONNECTION_NETWORK;
  bool burning_ = false;
  bool stopped_ = false;
  std::atomic<bool> burned_{false};  // read by the ticker's thread
  platform::UniqueKernelHandle tickerStop_;
  platform::UniqueKernelHandle ticker_;
};

Decision DecisionOf(WorkflowResult result) {
  switch (result) {
    case WorkflowResult::Current:
      return Decision::Current;
    case WorkflowResult::UpdateRequired:
      return Decision::Update;
    case WorkflowResult::ImageUnsupported:
      return Decision::Unsupported;
    case WorkflowResult::Updated:
      return Decision::Updated;
    case WorkflowResult::DownloadFailed:
      return Decision::Failed;
    default:
      return Decision::Error;
  }
}

// The file name after the path's last backslash.
std::string FileNameOf(const wchar_t* path) {
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  return Utf8(name);
}

}  // namespace

const char* DecisionName(Decision decision) {
  switch (decision) {
    case Decision::Update:
      return "update";
    case Decision::Current:
      return "current";
    case Decision::Unsupported:
      return "unsupported";
    case Decision::Stopped:
      return "stopped";
    case Decision::Updated:
      return "updated";
    case Decision::Failed:
      return "failed";
    default:
      return "error";
  }
}

namespace {

PrinterReport ReportOf(const ListedPrinter& listed) {
  PrinterReport report;
  report.name = listed.name;
  report.kind = listed.kind;
  // A parallel printer has no address (the list hands it the one before it).
  if (listed.kind != CONNECTION_PARALLEL) report.address = listed.address;
  report.firmware = Utf8(listed.version);
  return report;
}

}  // namespace

std::vector<PrinterReport> ListPrinters(const InterruptGuard& guard) {
  std::vector<PrinterReport> printers;
  ForEachListedPrinter([&](const ListedPrinter& listed) {
    printers.push_back(ReportOf(listed));
    return !guard.StopRequested();
  });
  return printers;
}

bool ListOnePrinter(const std::wstring& name, PrinterReport& printer) {
  ListedPrinter listed;
  wchar_t address[DEVICE_ADDRESS_CHARS] = {};
  if (name.size() >= ListedPrinter::kNameChars || !QueryListedPrinter(name.c_str(), address, listed)) return false;
  printer = ReportOf(listed);
  return true;
}

void RunWorkflow(PrinterReport& printer, const WorkflowOptions& options, InterruptGuard& guard) {
  PrintingObserver observer(options, guard);
  WorkflowOutcome outcome = RunFirmwareWorkflow(printer.name.c_str(), observer);
  printer.decision = observer.stopped() ? Decision::Stopped : DecisionOf(outcome.result);
  printer.message = OneLine(outcome.message);
  printer.image.clear();
  printer.imageVersion.clear();
  if (outcome.imagePath[0] != L'\0') {
    printer.image = FileNameOf(outcome.imagePath);
    int32_t version = GetBinFileVersion(outcome.imagePath, nullptr);
    if (version > 0) printer.imageVersion = std::to_string(version);
  }
}

std::string QueryVersion(const PrinterReport& printer) {
  char version[FACADE_VERSION_BUFFER_SIZE] = {};
  GetVersionString(version, printer.kind, UsbMatchText(printer.name.c_str()), printer.address.c_str());
  version[FACADE_VERSION_BUFFER_SIZE - 1] = '\0';
  return version;
}
