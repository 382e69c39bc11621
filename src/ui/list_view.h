// A thin wrapper of a report-view list-view control (a dialog's child window): the messages the
// program sends it, by name.
#pragma once

#include "platform/win32.h"

namespace ui {

class ListView {
 public:
  void Attach(HWND control) { hwnd_ = control; }
  HWND GetSafeHwnd() const { return hwnd_; }

  // Returns the new column's index, or -1.
  int InsertColumn(int index, const wchar_t* title, int format, int width) const;
  bool SetColumnWidth(int column, int width) const;
  // Inserts a row with `text` in its first column; returns its index, or -1.
  int InsertItem(int index, const wchar_t* text) const;
  bool SetItemText(int item, int column, const wchar_t* text) const;
  // Copies a cell's text into `text` (`chars` characters, terminator included).
  void GetItemText(int item, int column, wchar_t* text, int chars) const;
  bool DeleteAllItems() const;
  bool SetItemState(int item, UINT state, UINT mask) const;
  // The next row after `start` (-1: from the first) with the LVNI_* `flags`, or -1.
  int GetNextItem(int start, UINT flags) const;
  // The first row whose first-column text equals `text`, or -1.
  int FindItem(const wchar_t* text) const;
  int GetItemCount() const;
  DWORD GetExtendedStyle() const;
  void SetExtendedStyle(DWORD style) const;

 private:
  HWND hwnd_ = nullptr;
};

}  // namespace ui
