// The firmware download workflow of the main dialog: from the selected printer's name to an
// updated firmware, or to the one message box that says why not. It runs on the user-interface
// thread inside the button handler while the progress dialog runs on a thread of its own.
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "app/image_files.h"
#include "app/printer_address.h"
#include "app/printer_list.h"
#include "app/progress_messages.h"
#include "diag/diag_log.h"
#include "discovery/installed_printers.h"
#include "engine/engine_facade.h"

std::atomic<bool> progressRunning{false};

namespace {

constexpr DWORD kBeforeHideMs = 300;
constexpr DWORD kAfterHideMs = 1000;
constexpr DWORD kProgressWindowTimeoutMs = 10000;
constexpr DWORD kAfterNetworkDownloadMs = 35000;
constexpr DWORD kPollMs = 300;
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

}  // namespace

DWORD WINAPI ProgressThreadProc(LPVOID dialog) {
  progressRunning.store(true);
  static_cast<CProgressDlg*>(dialog)->DoModal();
  progressRunning.store(false);
  return 0;
}

ConnectionKind CPrinterList::GetConnectionKind(const wchar_t* printerName) {
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

void CPrinterList::OnDownloadFirmware() {
  int row = list_.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0) {
    DiagLog::ShowMessage(MB_ICONWARNING, L"There are no printers selected.");
    return;
  }
  wchar_t name[kNameChars] = {};
  list_.GetItemText(row, 0, name, static_cast<int>(std::size(name)));
  DownloadFirmware(name);
  ::ShowWindow(GetSafeHwnd(), SW_SHOWNORMAL);
}

void CPrinterList::StartProgressDialog() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  ::GetWindowPlacement(GetSafeHwnd(), &placement);

  // The previous run's dialog ended before its run returned (TerminateProgressThrd).
  progressDlg_ = std::make_unique<CProgressDlg>();
  progressDlg_->normalRect = placement.rcNormalPosition;
  progressWnd_ = nullptr;
  // Set before the thread starts, so that closing never misses a thread that has not begun.
  progressRunning.store(true);
  if (!progressThread_.Start(&ProgressThreadProc, progressDlg_.get())) {
    progressRunning.store(false);
    DiagLog::WriteError(::GetLastError(), L"CreateThread (progress dialog)");
  }

  ::Sleep(kBeforeHideMs);
  // Without a progress dialog the main dialog stays, so that no message box finds it hidden.
  if (progressThread_.Started()) ::ShowWindow(GetSafeHwnd(), SW_HIDE);
  ::Sleep(kAfterHideMs);
  if (!progressThread_.Started()) return;
  progressWnd_ = progressDlg_->WaitForWindow(kProgressWindowTimeoutMs);
  if (!progressWnd_) DiagLog::Write(L"The progress window did not appear; the download goes on without it");
}

void CPrinterList::PostProgress(LPARAM stage) const {
  if (progressWnd_) ::PostMessageW(progressWnd_, WM_PROGRESS_MSG, 0, stage);
}

void CPrinterList::TerminateProgressThrd() {
  DiagLog::Write(L"TerminateProgressThrd()");
  if (!progressThread_.Started()) return;
  progressDlg_->RequestEnd();
  ::ShowWindow(GetSafeHwnd(), SW_SHOWNORMAL);
  while (progressRunning.load()) ::Sleep(kPollMs);
}

int CPrinterList::Fail(const wchar_t* message) {
  TerminateProgressThrd();
  DiagLog::ShowMessage(MB_ICONERROR, L"%ls", message);
  return 0;
}

int CPrinterList::DownloadFirmware(const wchar_t* printerName) {
  DiagLog::SetPrefix(L"CORVL");
  DiagLog::SetCaption(L"Firmware Download Utility");

  for (int slot : {IMAGE_NETWORK_ASIAN, IMAGE_BASE_ASIAN, IMAGE_NETWORK_WESTERN, IMAGE_BASE_WESTERN}) {
    if (imageFiles[slot][0] != L'\0') CheckImageFile(slot);
  }
  const ConnectionKind kind = GetConnectionKind(printerName);

  StartProgressDialog();

  const wchar_t* match = UsbMatchText(printerName);
  // Lookups that fail leave the address as far as it was filled; the printer's answers decide.
  wchar_t address[DEVICE_ADDRESS_CHARS] = {};
  FindDeviceAddress(kind, printerName, address);

  PostProgress(STAGE_CHECKING_PRINTER);
  char info[FACADE_INFO_BUFFER_SIZE] = {};
  Get1284String(info, kind, match, address);
  info[FACADE_INFO_BUFFER_SIZE - 1] = '\0';
  bool networkModel = kind == CONNECTION_NETWORK || (kind == CONNECTION_USB && IsNetworkModelDeviceId(info));

  PostProgress(STAGE_READING_CULTURE);
  if (BuildInfo(info, kind, match, address) == 0) {
    return Fail(L"Unable to retrieve information from the printer.\n Please cycle power on the printer and try again later.");
  }
  info[FACADE_INFO_BUFFER_SIZE - 1] = '\0';
  Culture culture = ReadCulture(info);
  if (culture == Culture::Unknown) {
    return Fail(L"Unable to retrieve the printer front panel culture.\n Please cycle power on the printer and try again later.");
  }

  int slot = networkModel ? (culture == Culture::Asian ? IMAGE_NETWORK_ASIAN : IMAGE_NETWORK_WESTERN)
                          : (culture == Culture::Asian ? IMAGE_BASE_ASIAN : IMAGE_BASE_WESTERN);
  if (imageFiles[slot][0] == L'\0') return Fail(kUnsupportedImage[slot]);

  wchar_t imagePath[PROGRAM_PATH_CHARS] = {};
  if (!GetImagePath(slot, imagePath)) {
    return Fail(L"The path of the firmware file is too long.\n Please move the program to a folder with a shorter path and try again.");
  }
  DiagLog::Write(L"Downloading fw file %ls", imagePath);

  if (DownloadRequired(kind, match, imagePath, address) == 0) {
    TerminateProgressThrd();
    DiagLog::ShowMessage(MB_ICONWARNING, L"Firmware is current. No need to update at this time.");
    return 1;
  }

  PostProgress(STAGE_DOWNLOADING);
  int result = -1;
  {
    KeepAwake keepAwake;
    if (InitGlobals(kind, match, imagePath, address)) {
      // The burn's printer-UI command names this printer (loading the context emptied it).
      if (!SetPrinterNameAnsi(printerName)) DiagLog::Write(L"The printer name has no ANSI form: %ls", printerName);
      result = _DownloadFirmware();
    }
  }
  if (kind == CONNECTION_NETWORK) ::Sleep(kAfterNetworkDownloadMs);
  TerminateProgressThrd();

  if (result == 1) {
    int row = list_.FindItem(printerName);
    if (row >= 0) list_.SetItemText(row, 2, L"-- Updated --");
  } else {
    DiagLog::ShowMessage(MB_ICONERROR, L"Firmware download was not successful.");
  }
  return 1;
}
