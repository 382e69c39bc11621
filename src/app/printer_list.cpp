#include "app/printer_list.h"

#include <cstdio>
#include <cwchar>
#include <iterator>

#include "app/listed_printers.h"
#include "app/resource.h"
#include "app/version.h"
#include "diag/diag_log.h"
#include "ui/dpi.h"

namespace {

constexpr UINT_PTR kBuildTimer = 0;
constexpr UINT kBuildDelayMs = 100;

const wchar_t kTitle[] = L"TVQ5530 MFP Series Firmware Download Utility";
const wchar_t kVersion[] = CORVEL_VERSION_WTEXT;

enum Column { COLUMN_PRINTER = 0, COLUMN_CONNECTION = 1, COLUMN_FIRMWARE = 2 };

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
  // A printer the spooler cannot describe is counted but gets no row.
  ForEachListedPrinter([&](const ListedPrinter& printer) {
    if (printer.described) {
      int row = list_.InsertItem(rows, printer.name);
      if (row >= 0) {
        list_.SetItemText(row, COLUMN_CONNECTION, ConnectionName(printer.kind));
        list_.SetItemText(row, COLUMN_FIRMWARE, printer.version);
      }
    }
    ++rows;
    return true;
  });

  if (rows == 1) list_.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  SetDlgItemText(IDC_STATUS_LINE, L"");
  if (rows == 0) DiagLog::ShowMessage(MB_ICONERROR, L"No printers found.");
  return 1;
}
