#include "cli/fleet.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "app/firmware_workflow.h"
#include "app/listed_printers.h"
#include "app/printer_address.h"
#include "app/progress_messages.h"
#include "app/supported_drivers.h"
#include "cli/addresses.h"
#include "cli/corvelcmd.h"
#include "cli/text.h"
#include "diag/diag_log.h"
#include "discovery/installed_printers.h"
#include "engine/engine_facade.h"
#include "engine/firmware_image.h"
#include "engine/flash_burn.h"
#include "engine/network_channel.h"
#include "engine/version_query.h"
#include "net/address_resolution.h"
#include "platform/sha256.h"
#include "platform/unique_handle.h"
#include "platform/wide_text.h"

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
    Print(Utf8(StageLine(stage)));
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
    options_.progress->Err(options_.linePrefix + stamp + text + "\n");
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

std::string OrDashText(const std::string& text) { return text.empty() ? "-" : text; }

// The SHA-256 of bytes, or empty with a trace line naming the call that failed.
std::string HashOrTrace(const uint8_t* bytes, DWORD size, const wchar_t* what) {
  platform::Sha256Result result = platform::Sha256Of(bytes, size);
  if (result.hex.empty()) {
    DiagLog::Write(L"SHA-256 of %ls: %ls failed (error 0x%lx)", what, result.failedCall,
                   static_cast<unsigned long>(result.error));
  }
  return result.hex;
}

// What a burn read of its image, recorded by the engine's hook before any byte is sent, with
// the trace line that names the file, its size and its SHA-256.
struct BurnRecord {
  const std::wstring* printer = nullptr;
  bool read = false;
  std::string sha256;
  DWORD size = 0;
};

void RecordBurnedImage(const uint8_t* bytes, DWORD size, void* context) {
  BurnRecord& record = *static_cast<BurnRecord*>(context);
  const std::wstring name = Wide(FileNameOf(EngineContext().binFilePath));
  record.read = true;
  record.size = size;
  record.sha256 = HashOrTrace(bytes, size, name.c_str());
  const std::wstring digest = record.sha256.empty() ? L"unknown" : Wide(record.sha256);
  DiagLog::Write(L"%ls: burning %ls, %lu bytes, SHA-256 %ls", record.printer->c_str(), name.c_str(),
                 static_cast<unsigned long>(size), digest.c_str());
}

// Sets the hook for one workflow run and takes it away again on every path.
class BurnRecording {
 public:
  explicit BurnRecording(BurnRecord& record) { SetImageReadHook(RecordBurnedImage, &record); }
  ~BurnRecording() { SetImageReadHook(nullptr, nullptr); }
  BurnRecording(const BurnRecording&) = delete;
  BurnRecording& operator=(const BurnRecording&) = delete;
};

// The image file read once, for an entry without a burn: its size and SHA-256, or nothing when
// it does not read whole.
void RecordImageFile(const wchar_t* path, PrinterReport& printer) {
  platform::UniqueFile file(
      ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD high = 0;
  DWORD size = ::GetFileSize(file.get(), &high);
  if ((size == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) || high != 0) return;
  std::vector<uint8_t> bytes(size);
  DWORD done = 0;
  if (size != 0 && (!::ReadFile(file.get(), bytes.data(), size, &done, nullptr) || done != size)) return;
  printer.imageSize = size;
  const std::wstring name = Wide(FileNameOf(path));
  printer.imageSha256 = HashOrTrace(bytes.data(), size, name.c_str());
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
    case Decision::Unreachable:
      return "unreachable";
    case Decision::Stopped:
      return "stopped";
    case Decision::Updated:
      return "updated";
    case Decision::Failed:
      return "failed";
    case Decision::Unverified:
      return "unverified";
    default:
      return "error";
  }
}

bool DecisionNamed(const std::string& name, Decision& decision) {
  for (Decision d : {Decision::Update, Decision::Current, Decision::Unsupported, Decision::Error, Decision::Unreachable,
                     Decision::Stopped, Decision::Updated, Decision::Failed, Decision::Unverified}) {
    if (name == DecisionName(d)) {
      decision = d;
      return true;
    }
  }
  return false;
}

namespace {

const char kDeviceNotFound[] = "The USB device behind the printer's port was not found.";
const char kAddressNotFound[] = "The printer's network address could not be found.";
const char kNoAnswer[] = "No answer within the version query's time-out.";
const char kRefused[] = "The connection was refused or reset.";
const char kQueryFailed[] = "The version query failed.";
const char kDeviceIdFailed[] = "The device ID query failed.";

// Why the last version query of this process failed, in one sentence.
const char* VersionFailure(ConnectionKind kind) {
  if (kind != CONNECTION_NETWORK) return kQueryFailed;
  switch (NetLastVersionFailure()) {
    case NetFailure::NoAnswer:
      return kNoAnswer;
    case NetFailure::RefusedOrReset:
      return kRefused;
    default:
      return kQueryFailed;
  }
}

void MarkUnreachable(PrinterReport& report, const std::string& reason) {
  report.decision = Decision::Unreachable;
  report.message = reason;
  DiagLog::Write(L"%ls is unreachable: %ls", report.name.c_str(), Wide(reason).c_str());
}

PrinterReport ReportOf(const ListedPrinter& listed, ListFailure failure) {
  PrinterReport report;
  report.name = listed.name;
  report.kind = listed.kind;
  // A parallel printer has no address (the list hands it the one before it).
  if (listed.kind != CONNECTION_PARALLEL) report.address = listed.address;
  report.firmware = Utf8(listed.version);
  switch (failure) {
    case ListFailure::None:
      break;
    case ListFailure::DeviceNotFound:
      MarkUnreachable(report, kDeviceNotFound);
      break;
    case ListFailure::AddressNotFound:
      MarkUnreachable(report, kAddressNotFound);
      break;
    case ListFailure::VersionUnknown:
      MarkUnreachable(report, VersionFailure(listed.kind));
      break;
  }
  return report;
}

// Equal without regard to the case of ASCII letters.
bool SameModel(const std::string& model, const std::vector<std::wstring>& driverNames) {
  auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
  std::wstring wide = Wide(model);
  for (const std::wstring& driver : driverNames) {
    if (!wide.empty() && wide.size() == driver.size() &&
        std::equal(wide.begin(), wide.end(), driver.begin(), [&](wchar_t a, wchar_t b) { return lower(a) == lower(b); })) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<PrinterReport> ListPrinters(const InterruptGuard& guard) {
  std::vector<PrinterReport> printers;
  ForEachSupportedPrinter([&](const ListedPrinter& listed, ListFailure failure) {
    printers.push_back(ReportOf(listed, failure));
    return !guard.StopRequested();
  });
  return printers;
}

std::vector<std::wstring> InstalledPrinterNames() {
  std::vector<std::wstring> driverNames;
  GetSupportedDriverNames(driverNames);
  std::vector<std::wstring> names;
  InstalledPrinterList installed;
  wchar_t name[PRINTER_TEXT_CHARS] = {};
  for (int more = GetFirstInstalledPrinter(installed, name, driverNames); more;
       more = GetNextInstalledPrinter(installed, name)) {
    names.push_back(name);
  }
  return names;
}

bool ListOnePrinter(const std::wstring& name, PrinterReport& printer) {
  if (name.size() >= ListedPrinter::kNameChars) return false;
  std::vector<std::wstring> installed = InstalledPrinterNames();
  if (std::find(installed.begin(), installed.end(), name) == installed.end()) return false;
  ListedPrinter listed;
  wchar_t address[DEVICE_ADDRESS_CHARS] = {};
  ListFailure failure = ListFailure::None;
  QueryListedPrinter(name.c_str(), address, listed, &failure);
  printer = ReportOf(listed, failure);
  return true;
}

PrinterReport QueryAddressPrinter(const std::string& given) {
  PrinterReport report;
  report.name = Wide(given);
  report.kind = CONNECTION_NETWORK;
  report.byAddress = true;
  DiagLog::Write(L"Printer by address %ls", report.name.c_str());

  // Resolved as a port's host name is: a dotted IPv4 address as it is, anything else by name.
  wchar_t address[DEVICE_ADDRESS_CHARS] = {};
  std::wcsncpy(address, report.name.c_str(), std::size(address) - 1);
  char ansi[MAX_PATH] = {};
  if (!WideToAnsiExact(address, ansi, sizeof ansi) ||
      (inet_addr(ansi) == INADDR_NONE && (ResolveHostname(address, address) != 1 || address[0] == L'\0'))) {
    MarkUnreachable(report, kAddressNotFound);
    return report;
  }
  report.address = address;
  const wchar_t* match = UsbMatchText(address);

  char version[FACADE_VERSION_BUFFER_SIZE] = {};
  GetVersionString(version, CONNECTION_NETWORK, match, address);
  version[FACADE_VERSION_BUFFER_SIZE - 1] = '\0';
  if (std::strcmp(version, "Unknown") == 0) {
    MarkUnreachable(report, VersionFailure(CONNECTION_NETWORK));
    return report;
  }
  report.firmware = version;

  // The safety gate: nothing but queries goes to a printer that does not name the supported model.
  char deviceId[FACADE_INFO_BUFFER_SIZE] = {};
  if (Get1284String(deviceId, CONNECTION_NETWORK, match, address) != 1) {
    MarkUnreachable(report, kDeviceIdFailed);
    return report;
  }
  deviceId[FACADE_INFO_BUFFER_SIZE - 1] = '\0';
  std::string model = ModelOfDeviceId(deviceId);
  std::vector<std::wstring> driverNames;
  GetSupportedDriverNames(driverNames);
  if (!SameModel(model, driverNames)) {
    report.decision = Decision::Unsupported;
    report.message = model.empty() ? "Its device ID names no model: it is not updated."
                                   : "Its device ID names the model \"" + model + "\", not the supported " +
                                         Utf8(driverNames.empty() ? L"" : driverNames[0].c_str()) + ": it is not updated.";
    DiagLog::Write(L"%ls names the model %ls: not supported", report.name.c_str(), Wide(model).c_str());
    return report;
  }
  return report;  // undecided until its workflow runs
}

bool Undecided(const PrinterReport& printer) {
  return printer.decision != Decision::Unreachable && !(printer.byAddress && printer.decision == Decision::Unsupported);
}

void RunWorkflow(PrinterReport& printer, const WorkflowOptions& options, InterruptGuard& guard) {
  if (!Undecided(printer)) return;
  PrintingObserver observer(options, guard);
  BurnRecord record;
  record.printer = &printer.name;
  WorkflowOutcome outcome;
  {
    BurnRecording recording(record);
    outcome = printer.byAddress ? RunFirmwareWorkflowAt(printer.name.c_str(), printer.address.c_str(), observer)
                                : RunFirmwareWorkflow(printer.name.c_str(), observer);
  }
  printer.decision = observer.stopped() ? Decision::Stopped : DecisionOf(outcome.result);
  printer.message = OneLine(outcome.message);
  printer.image.clear();
  printer.imageVersion.clear();
  printer.imageSha256.clear();
  printer.imageSize = -1;
  if (record.read) {
    printer.imageSha256 = record.sha256;
    printer.imageSize = record.size;
  }
  if (outcome.imagePath[0] != L'\0') {
    printer.image = FileNameOf(outcome.imagePath);
    int32_t version = GetBinFileVersion(outcome.imagePath, nullptr);
    if (version > 0) printer.imageVersion = std::to_string(version);
    if (!record.read) RecordImageFile(outcome.imagePath, printer);
  }
  // The engine takes a version query that failed for "not required": that is no current printer.
  if (outcome.result == WorkflowResult::Current && LastFirmwareVersion() == -1) {
    MarkUnreachable(printer, VersionFailure(printer.kind));
  }
}

std::string QueryVersion(const PrinterReport& printer) {
  char version[FACADE_VERSION_BUFFER_SIZE] = {};
  GetVersionString(version, printer.kind, UsbMatchText(printer.name.c_str()), printer.address.c_str());
  version[FACADE_VERSION_BUFFER_SIZE - 1] = '\0';
  return version;
}

void VerifyBurn(PrinterReport& printer) {
  printer.after = QueryVersion(printer);
  if (printer.after == "Unknown") {
    printer.decision = Decision::Unverified;
    printer.message = "The burn was reported a success, but the printer did not answer its version afterwards.";
  } else if (printer.after != printer.imageVersion) {
    printer.decision = Decision::Failed;
    printer.message = "the printer reports version " + printer.after + " after the burn; the image is " +
                      OrDashText(printer.imageVersion);
  } else {
    return;
  }
  DiagLog::Write(L"%ls: %ls", printer.name.c_str(), Wide(printer.message).c_str());
}

void FailureLimit::Count(const PrinterReport& printer) {
  switch (printer.decision) {
    case Decision::Error:
    case Decision::Failed:
    case Decision::Unverified:
      ++failures;
      break;
    case Decision::Unreachable:
      if (countUnreachable) ++failures;
      break;
    default:
      break;
  }
}

std::string FailureLimit::Reason() const {
  return "not started: " + std::to_string(failures) + (failures == 1 ? " update" : " updates") +
         " failed, the limit is " + std::to_string(max);
}

int ExitCodeOf(const PrinterReport& printer) {
  switch (printer.decision) {
    case Decision::Error:
    case Decision::Unverified:
    case Decision::Failed:
    case Decision::Stopped:
      return EXIT_UPDATE_FAILED;
    case Decision::Unreachable:
      return EXIT_UNREACHABLE;
    case Decision::Unsupported:
      return EXIT_SKIPPED;
    default:
      return EXIT_DONE;
  }
}

int ExitCodeOf(const std::vector<PrinterReport>& printers) {
  int code = EXIT_DONE;
  for (const PrinterReport& printer : printers) {
    int one = ExitCodeOf(printer);
    if (one == EXIT_UPDATE_FAILED) return one;
    if (one == EXIT_UNREACHABLE || (one == EXIT_SKIPPED && code == EXIT_DONE)) code = one;
  }
  return code;
}
