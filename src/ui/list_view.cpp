#include "ui/list_view.h"

namespace ui {

int ListView::InsertColumn(int index, const wchar_t* title, int format, int width) const {
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = format;
  column.cx = width;
  column.pszText = const_cast<wchar_t*>(title);
  column.iSubItem = index;
  return static_cast<int>(::SendMessageW(hwnd_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
}

bool ListView::SetColumnWidth(int column, int width) const {
  return ::SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0;
}

int ListView::InsertItem(int index, const wchar_t* text) const {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(text);
  return static_cast<int>(::SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::SetItemText(int item, int column, const wchar_t* text) const {
  LVITEMW cell{};
  cell.iSubItem = column;
  cell.pszText = const_cast<wchar_t*>(text);
  return ::SendMessageW(hwnd_, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell)) != 0;
}

void ListView::GetItemText(int item, int column, wchar_t* text, int chars) const {
  if (chars <= 0) return;
  text[0] = L'\0';
  LVITEMW cell{};
  cell.iSubItem = column;
  cell.pszText = text;
  cell.cchTextMax = chars;
  ::SendMessageW(hwnd_, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
  text[chars - 1] = L'\0';
}

bool ListView::DeleteAllItems() const { return ::SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0) != 0; }

bool ListView::SetItemState(int item, UINT state, UINT mask) const {
  LVITEMW change{};
  change.stateMask = mask;
  change.state = state;
  return ::SendMessageW(hwnd_, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&change)) != 0;
}

int ListView::GetNextItem(int start, UINT flags) const {
  return static_cast<int>(::SendMessageW(hwnd_, LVM_GETNEXTITEM, start, MAKELPARAM(flags, 0)));
}

int ListView::FindItem(const wchar_t* text) const {
  LVFINDINFOW find{};
  find.flags = LVFI_STRING;
  find.psz = text;
  return static_cast<int>(::SendMessageW(hwnd_, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

int ListView::GetItemCount() const { return static_cast<int>(::SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0)); }

DWORD ListView::GetExtendedStyle() const {
  return static_cast<DWORD>(::SendMessageW(hwnd_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

void ListView::SetExtendedStyle(DWORD style) const {
  ::SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style));
}

}  // namespace ui
