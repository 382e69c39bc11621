// The list view (report view) and the progress bar as state that answers their messages with
// the results comctl32 gives, and InitCommonControlsEx.
#include <algorithm>
#include <atomic>
#include <map>

#include "host/machine.h"
#include "host/windows.h"
#include "internal.h"
#include "windows_internal.h"
#include "winhost/kernel.h"

namespace host {
namespace win {
namespace {

std::atomic<DWORD> g_commonControlClasses{0};

const bool g_registered = [] {
  RegisterArea(Area{"common controls", [] { g_commonControlClasses = 0; }, nullptr});
  return true;
}();

struct Column {
  int fmt = LVCFMT_LEFT;
  int cx = 0;
  std::wstring text;
  int subItem = 0;
  int image = 0;
  int order = 0;
};

struct Row {
  std::map<int, std::wstring> texts;  // by subitem
  UINT state = 0;
  LPARAM param = 0;
  int image = 0;
  int indent = 0;
};

struct ListView : ControlState {
  std::vector<Column> columns;
  std::vector<Row> rows;
  DWORD exStyle = 0;
};

// Copies `text` into a caller's buffer of `size` characters, cut to fit and terminated; the
// number of characters copied.
int CopyText(const std::wstring& text, LPWSTR buffer, int size) {
  if (!buffer || size <= 0) return 0;
  size_t count = std::min(text.size(), static_cast<size_t>(size - 1));
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(count), buffer);
  buffer[count] = L'\0';
  return static_cast<int>(count);
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && NamesEqual(text.substr(0, prefix.size()), prefix);
}

// Applies the masked state bits to a row; a selection in a single-selection list, and the focus
// in any list, is taken from every other row.
void ApplyState(ListView& list, size_t index, UINT state, UINT mask, bool singleSelection) {
  Row& row = list.rows[index];
  row.state = (row.state & ~mask) | (state & mask);
  UINT exclusive = LVIS_FOCUSED | (singleSelection ? LVIS_SELECTED : 0u);
  UINT taken = row.state & mask & exclusive;
  if (!taken) return;
  for (size_t i = 0; i < list.rows.size(); ++i) {
    if (i != index) list.rows[i].state &= ~taken;
  }
}

bool ValidSubItem(const ListView& list, int subItem) {
  return subItem == 0 || (subItem > 0 && static_cast<size_t>(subItem) < list.columns.size());
}

LRESULT InsertColumn(ListView& list, WPARAM index, const LVCOLUMNW* column) {
  if (!column) return -1;
  Column c;
  size_t at = std::min(static_cast<size_t>(index), list.columns.size());
  c.subItem = static_cast<int>(at);
  if (column->mask & LVCF_FMT) c.fmt = column->fmt;
  if (column->mask & LVCF_WIDTH) c.cx = column->cx;
  if ((column->mask & LVCF_TEXT) && column->pszText) c.text = column->pszText;
  if (column->mask & LVCF_SUBITEM) c.subItem = column->iSubItem;
  if (column->mask & LVCF_IMAGE) c.image = column->iImage;
  c.order = (column->mask & LVCF_ORDER) ? column->iOrder : static_cast<int>(at);
  if (at == 0) c.fmt = (c.fmt & ~LVCFMT_JUSTIFYMASK) | LVCFMT_LEFT;  // the first column is always left-aligned
  list.columns.insert(list.columns.begin() + static_cast<std::ptrdiff_t>(at), c);
  return static_cast<LRESULT>(at);
}

LRESULT GetColumn(const ListView& list, WPARAM index, LVCOLUMNW* column) {
  if (!column || index >= list.columns.size()) return FALSE;
  const Column& c = list.columns[index];
  if (column->mask & LVCF_FMT) column->fmt = c.fmt;
  if (column->mask & LVCF_WIDTH) column->cx = c.cx;
  if (column->mask & LVCF_TEXT) CopyText(c.text, column->pszText, column->cchTextMax);
  if (column->mask & LVCF_SUBITEM) column->iSubItem = c.subItem;
  if (column->mask & LVCF_IMAGE) column->iImage = c.image;
  if (column->mask & LVCF_ORDER) column->iOrder = c.order;
  return TRUE;
}

LRESULT SetColumn(ListView& list, WPARAM index, const LVCOLUMNW* column) {
  if (!column || index >= list.columns.size()) return FALSE;
  Column& c = list.columns[index];
  if (column->mask & LVCF_FMT) c.fmt = index == 0 ? (column->fmt & ~LVCFMT_JUSTIFYMASK) : column->fmt;
  if (column->mask & LVCF_WIDTH) c.cx = column->cx;
  if (column->mask & LVCF_TEXT) c.text = column->pszText ? column->pszText : L"";
  if (column->mask & LVCF_SUBITEM) c.subItem = column->iSubItem;
  if (column->mask & LVCF_IMAGE) c.image = column->iImage;
  if (column->mask & LVCF_ORDER) c.order = column->iOrder;
  return TRUE;
}

LRESULT InsertItem(ListView& list, DWORD style, const LVITEMW* item) {
  if (!item || item->iSubItem != 0 || item->iItem < 0) return -1;
  Row row;
  if ((item->mask & LVIF_TEXT) && item->pszText) row.texts[0] = item->pszText;
  if (item->mask & LVIF_PARAM) row.param = item->lParam;
  if (item->mask & LVIF_IMAGE) row.image = item->iImage;
  if (item->mask & LVIF_INDENT) row.indent = item->iIndent;
  size_t at = std::min(static_cast<size_t>(item->iItem), list.rows.size());
  list.rows.insert(list.rows.begin() + static_cast<std::ptrdiff_t>(at), row);
  if (item->mask & LVIF_STATE) ApplyState(list, at, item->state, item->stateMask, (style & LVS_SINGLESEL) != 0);
  return static_cast<LRESULT>(at);
}

LRESULT GetItem(const ListView& list, LVITEMW* item) {
  if (!item || item->iItem < 0 || static_cast<size_t>(item->iItem) >= list.rows.size()) return FALSE;
  if (!ValidSubItem(list, item->iSubItem)) return FALSE;
  const Row& row = list.rows[static_cast<size_t>(item->iItem)];
  if (item->mask & LVIF_TEXT) {
    auto it = row.texts.find(item->iSubItem);
    CopyText(it == row.texts.end() ? std::wstring() : it->second, item->pszText, item->cchTextMax);
  }
  if (item->mask & LVIF_STATE) item->state = row.state & item->stateMask;
  if (item->mask & LVIF_PARAM) item->lParam = row.param;
  if (item->mask & LVIF_IMAGE) item->iImage = row.image;
  if (item->mask & LVIF_INDENT) item->iIndent = row.indent;
  return TRUE;
}

LRESULT GetNextItem(const ListView& list, WPARAM start, LPARAM flags) {
  int from = static_cast<int>(start);
  if (from < -1 || from >= static_cast<int>(list.rows.size())) return -1;
  UINT wanted = 0;
  if (flags & LVNI_SELECTED) wanted |= LVIS_SELECTED;
  if (flags & LVNI_FOCUSED) wanted |= LVIS_FOCUSED;
  if (flags & LVNI_CUT) wanted |= LVIS_CUT;
  if (flags & LVNI_DROPHILITED) wanted |= LVIS_DROPHILITED;
  // In report view the rows stand in one column: the next row follows the index.
  for (int i = from + 1; i < static_cast<int>(list.rows.size()); ++i) {
    if ((list.rows[static_cast<size_t>(i)].state & wanted) == wanted) return i;
  }
  return -1;
}

LRESULT FindItem(const ListView& list, WPARAM start, const LVFINDINFOW* find) {
  int from = static_cast<int>(start);
  if (!find || from < -1) return -1;
  bool byText = (find->flags & (LVFI_STRING | LVFI_PARTIAL | LVFI_SUBSTRING)) != 0;
  bool byParam = (find->flags & LVFI_PARAM) != 0;
  if ((!byText && !byParam) || (byText && !find->psz)) return -1;
  bool partial = (find->flags & (LVFI_PARTIAL | LVFI_SUBSTRING)) != 0;
  int count = static_cast<int>(list.rows.size());
  int steps = (find->flags & LVFI_WRAP) ? count : count - (from + 1);
  for (int n = 0; n < steps; ++n) {
    int i = (from + 1 + n) % count;
    const Row& row = list.rows[static_cast<size_t>(i)];
    if (byParam) {
      if (row.param == find->lParam) return i;
      continue;
    }
    auto it = row.texts.find(0);
    std::wstring text = it == row.texts.end() ? std::wstring() : it->second;
    if (partial ? StartsWithNoCase(text, find->psz) : NamesEqual(text, find->psz)) return i;
  }
  return -1;
}

std::shared_ptr<ControlState> NewListView() { return std::make_shared<ListView>(); }

struct ProgressBar : ControlState {
  int low = 0;
  int high = 100;
  int position = 0;
  int step = 10;
  void Clamp() { position = std::min(std::max(position, low), high); }
};

std::shared_ptr<ControlState> NewProgressBar() { return std::make_shared<ProgressBar>(); }

}  // namespace

// Each control's state is touched only by its owner thread (messages from other threads arrive
// as sent messages on that thread), so no lock is needed here.
LRESULT ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message < LVM_FIRST || message >= LVM_FIRST + 0x100) return DefWindowProcW(window, message, wParam, lParam);
  auto list = std::static_pointer_cast<ListView>(ControlStateOf(window, NewListView));
  DWORD style = StyleOf(window);
  auto* item = reinterpret_cast<LVITEMW*>(lParam);
  switch (message) {
    case LVM_GETITEMCOUNT:
      return static_cast<LRESULT>(list->rows.size());
    case LVM_INSERTCOLUMNW:
      return InsertColumn(*list, wParam, reinterpret_cast<const LVCOLUMNW*>(lParam));
    case LVM_GETCOLUMNW:
      return GetColumn(*list, wParam, reinterpret_cast<LVCOLUMNW*>(lParam));
    case LVM_SETCOLUMNW:
      return SetColumn(*list, wParam, reinterpret_cast<const LVCOLUMNW*>(lParam));
    case LVM_DELETECOLUMN:
      if (wParam >= list->columns.size()) return FALSE;
      list->columns.erase(list->columns.begin() + static_cast<std::ptrdiff_t>(wParam));
      return TRUE;
    case LVM_GETCOLUMNWIDTH:
      return wParam < list->columns.size() ? list->columns[wParam].cx : 0;
    case LVM_SETCOLUMNWIDTH: {
      if (wParam >= list->columns.size()) return FALSE;
      list->columns[wParam].cx = static_cast<short>(LOWORD(lParam));
      return TRUE;
    }
    case LVM_INSERTITEMW:
      return InsertItem(*list, style, item);
    case LVM_GETITEMW:
      return GetItem(*list, item);
    case LVM_SETITEMTEXTW: {
      if (!item || wParam >= list->rows.size() || !ValidSubItem(*list, item->iSubItem)) return FALSE;
      list->rows[wParam].texts[item->iSubItem] = item->pszText ? item->pszText : L"";
      return TRUE;
    }
    case LVM_GETITEMTEXTW: {
      if (!item || !item->pszText || item->cchTextMax <= 0) return 0;
      if (wParam >= list->rows.size() || !ValidSubItem(*list, item->iSubItem)) {
        item->pszText[0] = L'\0';
        return 0;
      }
      const Row& row = list->rows[wParam];
      auto it = row.texts.find(item->iSubItem);
      return CopyText(it == row.texts.end() ? std::wstring() : it->second, item->pszText, item->cchTextMax);
    }
    case LVM_DELETEITEM:
      if (wParam >= list->rows.size()) return FALSE;
      list->rows.erase(list->rows.begin() + static_cast<std::ptrdiff_t>(wParam));
      return TRUE;
    case LVM_DELETEALLITEMS:
      list->rows.clear();
      return TRUE;
    case LVM_SETITEMSTATE: {
      if (!item) return FALSE;
      int index = static_cast<int>(wParam);
      bool single = (style & LVS_SINGLESEL) != 0;
      if (index == -1) {
        // All rows; selecting all in a single-selection list is refused, as comctl32 does.
        if (single && (item->stateMask & item->state & LVIS_SELECTED)) return FALSE;
        for (size_t i = 0; i < list->rows.size(); ++i) {
          list->rows[i].state = (list->rows[i].state & ~item->stateMask) | (item->state & item->stateMask);
        }
        return TRUE;
      }
      if (index < 0 || static_cast<size_t>(index) >= list->rows.size()) return FALSE;
      ApplyState(*list, static_cast<size_t>(index), item->state, item->stateMask, single);
      return TRUE;
    }
    case LVM_GETITEMSTATE:
      return wParam < list->rows.size() ? static_cast<LRESULT>(list->rows[wParam].state & static_cast<UINT>(lParam))
                                        : 0;
    case LVM_GETNEXTITEM:
      return GetNextItem(*list, wParam, LOWORD(lParam));
    case LVM_FINDITEMW:
      return FindItem(*list, wParam, reinterpret_cast<const LVFINDINFOW*>(lParam));
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(list->rows.begin(), list->rows.end(),
                           [](const Row& row) { return (row.state & LVIS_SELECTED) != 0; });
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD previous = list->exStyle;
      DWORD mask = wParam ? static_cast<DWORD>(wParam) : ~0u;
      list->exStyle = (previous & ~mask) | (static_cast<DWORD>(lParam) & mask);
      return static_cast<LRESULT>(previous);
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
      return static_cast<LRESULT>(list->exStyle);
  }
  return 0;
}

LRESULT ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message < PBM_SETRANGE || message > PBM_GETPOS) return DefWindowProcW(window, message, wParam, lParam);
  auto bar = std::static_pointer_cast<ProgressBar>(ControlStateOf(window, NewProgressBar));
  int previous;
  switch (message) {
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
      LRESULT old = MAKELONG(LOWORD(bar->low), LOWORD(bar->high));
      if (message == PBM_SETRANGE) {
        bar->low = LOWORD(lParam);
        bar->high = HIWORD(lParam);
      } else {
        bar->low = static_cast<int>(wParam);
        bar->high = static_cast<int>(lParam);
      }
      return old;
    }
    case PBM_GETRANGE: {
      if (auto* range = reinterpret_cast<PBRANGE*>(lParam)) {
        range->iLow = bar->low;
        range->iHigh = bar->high;
      }
      return wParam ? bar->low : bar->high;
    }
    case PBM_SETPOS:
      previous = bar->position;
      bar->position = static_cast<int>(wParam);
      bar->Clamp();
      InvalidateRect(window, nullptr, FALSE);
      return previous;
    case PBM_SETSTEP:
      previous = bar->step;
      bar->step = static_cast<int>(wParam);
      return previous;
    case PBM_STEPIT:
      // Past the top the bar starts over from the bottom.
      previous = bar->position;
      if (bar->high != bar->low) {
        bar->position += bar->step;
        int span = bar->high - bar->low;
        if (bar->position > bar->high) bar->position = (bar->position - bar->low) % span + bar->low;
        if (bar->position < bar->low) bar->position = (bar->position - bar->low) % span + bar->high;
      }
      return previous;
    case PBM_GETPOS:
      return bar->position;
  }
  return 0;
}

}  // namespace win

namespace windows {
DWORD CommonControlClasses() { return win::g_commonControlClasses; }
}  // namespace windows

}  // namespace host

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  HOST_ENTER("InitCommonControlsEx", FALSE);
  if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  host::win::g_commonControlClasses |= init->dwICC;
  return TRUE;
}
