#include "app/printer_list.h"

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "app/printer_address.h"
#include "app/resource.h"
#include "app/supported_drivers.h"
#include "app/version.h"
#include "diag/diag_log.h"
#include "discovery/installed_printers.h"
#include "engine/engine_facade.h"
#include "ui/dpi.h"

namespace {

constexpr UINT_PTR kBuildTimer = 0;
constexpr UINT kBuildDelayMs = 100;
constexpr DWORD kPauseBeforeRowMs = 100;

const wchar_t kTitle[] = L"TVQ5530 MFP Series Firmware Download Utility";
const wchar_t kVersion[] = CORVEL_VERSION_WTEXT;

enum Column { COLUMN_PRINTER = 0, COLUMN_CONNECTION = 1, COLUMN_FIRMWARE = 2 };

const wchar_t* ConnectionName(ConnectionKind kind) {
  switch (kind) {
    case CONNECTION_USB:
      return L"USB";
    case CONNECTION_NETWORK:
      return L"Network";
    default:
      return L"Parallel";
  }
}

// Shows the wait cursor while it lives.
class WaitCursor {
 public:
  WaitCursor() : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { ::SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace

CPrinterList::CPrinterList() : ui::Dialog(IDD_PRINTER_LIST, nullptr) {}

CPrinterList::~CPrinterList() = default;

BOOL CPrinterList::OnInitDialog() {
  list_.Attach(GetDlgItem(IDC_PRINTER_LIST));

  SetDlgItemText(IDC_INSTRUCTION,
                 L"To download firmware to a printer, select it from the list and press 'Download Firmware'.");
  SetDlgItemText(IDOK, L"Download Firmware");
  SetDlgItemText(IDCANCEL, L"Close");

  // The widths are pixels at 96 DPI: they scale with the dialog, which follows the display's DPI.
  const int dpi = ui::WindowDpi(GetSafeHwnd());
  list_.InsertColumn(COLUMN_PRINTER, L"Printer", LVCFMT_LEFT, ui::ScaleToDpi(200, dpi));
  list_.InsertColumn(COLUMN_CONNECTION, L"Connection", LVCFMT_LEFT, ui::ScaleToDpi(100, dpi));
  list_.InsertColumn(COLUMN_FIRMWARE, L"Firmware", LVCFMT_LEFT, ui::ScaleToDpi(200, dpi));

  wchar_t title[256] = {};
  std::swprintf(title, std::size(title), L"%ls (%ls)", kTitle, kVersion);
  ::SetWindowTextW(GetSafeHwnd(), title);

  list_.SetExtendedStyle(list_.GetExtendedStyle() | LVS_EX_FULLROWSELECT);

  // The list is built once the dialog has been drawn, since the printer queries are slow.
  ::SetTimer(GetSafeHwnd(), kBuildTimer, kBuildDelayMs, nullptr);
  return TRUE;
}

bool CPrinterList::OnCommand(WORD id, WORD notifyCode, HWND control) {
  if (id == IDOK) {
    OnDownloadFirmware();
    return true;
  }
  return ui::Dialog::OnCommand(id, notifyCode, control);  // Cancel ends the dialog
}

bool CPrinterList::OnTimer(UINT_PTR timerId) {
  if (timerId == kBuildTimer) {
    ::KillTimer(GetSafeHwnd(), kBuildTimer);
    BuildList();
  }
  return false;
}

int CPrinterList::BuildList() {
  DiagLog::Write(L"BuildList()");
  SetDlgItemText(IDC_STATUS_LINE, L"Retrieving Printer Information ...");
  WaitCursor waitCursor;
  list_.DeleteAllItems();
  int rows = 0;

  std::vector<std::wstring> driverNames;
  GetSupportedDriverNames(driverNames);

  InstalledPrinterList printers;
  wchar_t name[kNameChars] = {};
  // Emptied once: a parallel printer, which has no address, hands on the one before it.
  wchar_t address[DEVICE_ADDRESS_CHARS] = {};
  for (int more = GetFirstInstalledPrinter(printers, name, driverNames); more;
       more = GetNextInstalledPrinter(printers, name)) {
    ConnectionKind kind = GetConnectionKind(name);
    const wchar_t* match = UsbMatchText(name);
    if (kind == CONNECTION_USB) {
      DiagLog::Write(L"printer is USB");
    } else if (kind == CONNECTION_PARALLEL) {
      DiagLog::Write(L"printer is LPT\n");
    } else {
      DiagLog::Write(L"printer is Network");
    }
    if (!FindDeviceAddress(kind, name, address)) continue;
    DiagLog::Write(L"%ls", address);

    char version[FACADE_VERSION_BUFFER_SIZE] = {};
    GetVersionString(version, kind, match, address);
    wchar_t versionText[FACADE_VERSION_BUFFER_SIZE] = {};
    if (::MultiByteToWideChar(CP_UTF8, 0, version, -1, versionText, static_cast<int>(std::size(versionText))) <= 0) {
      versionText[0] = L'\0';
    }
    if (std::wcscmp(versionText, L"Unknown") == 0) continue;

    ::Sleep(kPauseBeforeRowMs);
    DiagLog::Write(L"++ Adding %ls to printer list", name);
    // A printer the spooler cannot describe is counted but gets no row.
    PrinterInfo info{};
    if (GetPrinterInfo(info, name) == 1) {
      int row = list_.InsertItem(rows, name);
      if (row >= 0) {
        list_.SetItemText(row, COLUMN_CONNECTION, ConnectionName(kind));
        list_.SetItemText(row, COLUMN_FIRMWARE, versionText);
      }
    }
    ++rows;
  }

  if (rows == 1) list_.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  SetDlgItemText(IDC_STATUS_LINE, L"");
  if (rows == 0) DiagLog::ShowMessage(MB_ICONERROR, L"No printers found.");
  return 1;
}
