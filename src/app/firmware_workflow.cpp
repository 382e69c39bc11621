#include "app/firmware_workflow.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "app/printer_address.h"
#include "app/progress_messages.h"
#include "diag/diag_log.h"
#include "discovery/installed_printers.h"
#include "engine/engine_facade.h"

namespace {

constexpr DWORD kAfterNetworkDownloadMs = 35000;
constexpr size_t kDeviceIdTextBytes = 256;  // text of at most 255 bytes and its zero
constexpr size_t kBuildFieldBytes = 80;

const wchar_t kNetworkModelWide[] = L"TV Vexline Q5530n";

// Keeps the computer awake while it lives (a burn must not be cut by sleep).
class KeepAwake {
 public:
  KeepAwake() { ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }
  ~KeepAwake() { ::SetThreadExecutionState(ES_CONTINUOUS); }
  KeepAwake(const KeepAwake&) = delete;
  KeepAwake& operator=(const KeepAwake&) = delete;
};

// The device ID in `buffer` as a USB printer sends it: a 2-byte big-endian length L, then the
// text. Whether it names the network model; at most 255 bytes and at most L are read, up to the
// first zero.
bool IsNetworkModelDeviceId(const char* buffer) {
  size_t length = (static_cast<size_t>(static_cast<unsigned char>(buffer[0])) << 8) |
                  static_cast<unsigned char>(buffer[1]);
  char text[kDeviceIdTextBytes] = {};
  for (size_t i = 0; i < length && i + 1 < kDeviceIdTextBytes && buffer[2 + i] != '\0'; ++i) text[i] = buffer[2 + i];
  wchar_t wide[kDeviceIdTextBytes] = {};
  if (::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, static_cast<int>(std::size(wide))) <= 0) return false;
  return std::wcsstr(wide, kNetworkModelWide) != nullptr;
}

enum class Culture { Western, Asian, Unknown };

// The panel culture of a build information text "FW:a, b, c; PANEL: culture;".
Culture ReadCulture(const char* buildInfo) {
  char fw1[kBuildFieldBytes] = {}, fw2[kBuildFieldBytes] = {}, fw3[kBuildFieldBytes] = {};
  char culture[kBuildFieldBytes] = {};
  std::sscanf(buildInfo, "FW:%79[^,], %79[^,], %79[^;]; PANEL: %79[^;];", fw1, fw2, fw3, culture);
  if (std::strstr(culture, "WESTERN")) return Culture::Western;
  if (std::strstr(culture, "ASIAN")) return Culture::Asian;
  return Culture::Unknown;
}

const wchar_t* const kUnsupportedImage[IMAGE_SLOT_COUNT] = {
    L"This Utility does not support a Network Printer with Asian Control Panel.",
    L"This Utility does not support a Base Printer with Asian Control Panel.",
    L"This Utility does not support a Base Printer with Western Control Panel.",
    L"This Utility does not support a Network Printer with Western Control Panel.",
};

// Hands the outcome to the observer and returns it.
WorkflowOutcome& Finish(WorkflowOutcome& outcome, WorkflowObserver& observer, WorkflowResult result,
                        const wchar_t* message, UINT icon) {
  outcome.result = result;
  outcome.message = message;
  outcome.icon = icon;
  observer.Finished(outcome);
  return outcome;
}

}  // namespace

int WorkflowOutcome::ReturnValue() const {
  switch (result) {
    case WorkflowResult::InfoUnavailable:
    case WorkflowResult::CultureUnknown:
    case WorkflowResult::ImageUnsupported:
    case WorkflowResult::PathTooLong:
      return 0;
    default:
      return 1;
  }
}

const wchar_t* StageLine(LPARAM stage) {
  switch (stage) {
    case STAGE_CHECKING_PRINTER:
      return L"Checking the current state of the Printer ...";
    case STAGE_REPAIRING:
      return L"Attempting to repair Printer ...";
    case STAGE_READING_CULTURE:
      return L"Retrieving Printer hardware Culture ...";
    case STAGE_DOWNLOADING:
      return L"Downloading new Firmware ...";
    default:
      return L"Busy";
  }
}

ConnectionKind ConnectionKindOf(const wchar_t* printerName) {
  wchar_t port[PRINTER_TEXT_CHARS] = {};
  GetPortname(port, printerName);
  ::OutputDebugStringW(port);
  if (std::wcsstr(port, L"USB")) return CONNECTION_USB;
  if (std::wcsstr(port, L"LPT")) {
    ::OutputDebugStringW(L"LPT port");
    return CONNECTION_PARALLEL;
  }
  return CONNECTION_NETWORK;
}

namespace {

// The workflow for an installed printer (`knownAddress` null: its kind and address are looked up
// by its name) or for a network printer at `knownAddress`.
WorkflowOutcome Run(const wchar_t* printerName, const wchar_t* knownAddress, WorkflowObserver& observer) {
  WorkflowOutcome outcome;
  DiagLog::SetPrefix(L"CORVL");
  DiagLog::SetCaption(L"Firmware Download Utility");

  for (int slot : {IMAGE_NETWORK_ASIAN, IMAGE_BASE_ASIAN, IMAGE_NETWORK_WESTERN, IMAGE_BASE_WESTERN}) {
    if (imageFiles[slot][0] != L'\0') CheckImageFile(slot);
  }
  const ConnectionKind kind = knownAddress ? CONNECTION_NETWORK : ConnectionKindOf(printerName);
  observer.Started(kind);

  const wchar_t* match = UsbMatchText(printerName);
  // Lookups that fail leave the address as far as it was filled; the printer's answers decide.
  wchar_t address[DEVICE_ADDRESS_CHARS] = {};
  if (knownAddress) {
    std::wcsncpy(address, knownAddress, std::size(address) - 1);
  } else {
    FindDeviceAddress(kind, printerName, address);
  }

  observer.Stage(STAGE_CHECKING_PRINTER);
  char info[FACADE_INFO_BUFFER_SIZE] = {};
  Get1284String(info, kind, match, address);
  info[FACADE_INFO_BUFFER_SIZE - 1] = '\0';
  bool networkModel = kind == CONNECTION_NETWORK || (kind == CONNECTION_USB && IsNetworkModelDeviceId(info));

  observer.Stage(STAGE_READING_CULTURE);
  if (BuildInfo(info, kind, match, address) == 0) {
    return Finish(outcome, observer, WorkflowResult::InfoUnavailable,
                  L"Unable to retrieve information from the printer.\n Please cycle power on the printer and try again later.",
                  MB_ICONERROR);
  }
  info[FACADE_INFO_BUFFER_SIZE - 1] = '\0';
  Culture culture = ReadCulture(info);
  if (culture == Culture::Unknown) {
    return Finish(outcome, observer, WorkflowResult::CultureUnknown,
                  L"Unable to retrieve the printer front panel culture.\n Please cycle power on the printer and try again later.",
                  MB_ICONERROR);
  }

  const int slot = networkModel ? (culture == Culture::Asian ? IMAGE_NETWORK_ASIAN : IMAGE_NETWORK_WESTERN)
                                : (culture == Culture::Asian ? IMAGE_BASE_ASIAN : IMAGE_BASE_WESTERN);
  outcome.slot = slot;
  if (imageFiles[slot][0] == L'\0') {
    return Finish(outcome, observer, WorkflowResult::ImageUnsupported, kUnsupportedImage[slot], MB_ICONERROR);
  }

  if (!GetImagePath(slot, outcome.imagePath)) {
    return Finish(outcome, observer, WorkflowResult::PathTooLong,
                  L"The path of the firmware file is too long.\n Please move the program to a folder with a shorter path and try again.",
                  MB_ICONERROR);
  }
  DiagLog::Write(L"Downloading fw file %ls", outcome.imagePath);

  if (DownloadRequired(kind, match, outcome.imagePath, address) == 0) {
    return Finish(outcome, observer, WorkflowResult::Current, L"Firmware is current. No need to update at this time.",
                  MB_ICONWARNING);
  }
  if (!observer.ProceedToBurn()) return Finish(outcome, observer, WorkflowResult::UpdateRequired, nullptr, 0);

  observer.Stage(STAGE_DOWNLOADING);
  int result = -1;
  {
    KeepAwake keepAwake;
    if (InitGlobals(kind, match, outcome.imagePath, address)) {
      // The burn's printer-UI command names this printer (loading the context emptied it).
      if (!SetPrinterNameAnsi(printerName)) DiagLog::Write(L"The printer name has no ANSI form: %ls", printerName);
      result = _DownloadFirmware();
    }
  }
  observer.Burned(result == 1);
  if (kind == CONNECTION_NETWORK) ::Sleep(kAfterNetworkDownloadMs);

  if (result == 1) return Finish(outcome, observer, WorkflowResult::Updated, nullptr, 0);
  return Finish(outcome, observer, WorkflowResult::DownloadFailed, L"Firmware download was not successful.", MB_ICONERROR);
}

}  // namespace

WorkflowOutcome RunFirmwareWorkflow(const wchar_t* printerName, WorkflowObserver& observer) {
  return Run(printerName, nullptr, observer);
}

WorkflowOutcome RunFirmwareWorkflowAt(const wchar_t* name, const wchar_t* address, WorkflowObserver& observer) {
  return Run(name, address, observer);
}
