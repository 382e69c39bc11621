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

// The list's columns, their widths in pixels at 96 DPI.
struct ColumnSpec {
  const wchar_t* title;
  int width;
};
const ColumnSpec kColumns[] = {{L"Printer", 200}, {L"Connection", 100}, {L"Firmware", 200}};

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

  // The widths scale with the dialog, which follows the display's DPI.
  const int dpi = ui::WindowDpi(GetSafeHwnd());
  for (int column = COLUMN_PRINTER; column <= COLUMN_FIRMWARE; ++column) {
    list_.InsertColumn(column, kColumns[column].title, LVCFMT_LEFT, ui::ScaleToDpi(kColumns[column].width, dpi));
  }

  wchar_t title[256] = {};
  std::swprintf(title, std::size(title), L"%ls (%ls)", kTitle, kVersion);
  ::SetWindowTextW(GetSafeHwnd(), title);

  list_.SetExtendedStyle(list_.GetExtendedStyle() | LVS_EX_FULLROWSELECT);

  // The list is built once the dialog has been drawn, since the printer queries are slow.
  ::SetTimer(GetSafeHwnd(), kBuildTimer, kBuildDelayMs, nullptr);
  return TRUE;
}

bool CPrinterList::OnDpiChanged(int dpi, const RECT& suggested) {
  // The dialog manager rescales the dialog and its controls, but not the list's columns.
  for (int column = COLUMN_PRINTER; column <= COLUMN_FIRMWARE; ++column) {
    list_.SetColumnWidth(column, ui::ScaleToDpi(kColumns[column].width, dpi));
  }
  ::SetWindowPos(GetSafeHwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  return false;
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
