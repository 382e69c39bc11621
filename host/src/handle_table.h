// The table of open objects behind the handle values an area of the host hands out. Each row
// keeps the object, the kind of handle it is ("printer handle", "key"), and the process that
// opened it; the table lists what is still open for the leak report, one line per row:
// "<kind> 0x<value>" followed by what the object names ("printer \"Office\"").
//
// The table has no lock of its own: its area guards it together with the rest of its state.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "winhost/kernel.h"

namespace host {

template <typename Entry>
class HandleTable {
 public:
  // Values start at `first` and grow by `step`; the leak report writes them in hexadecimal, or
  // in decimal for a table of identifiers (`decimal`).
  HandleTable(const char* kind, uintptr_t first, uintptr_t step, bool decimal = false)
      : kind_(kind), first_(first), step_(step), next_(first), decimal_(decimal) {}

  // A new handle for `entry`, owned by the calling process; `kind` overrides the table's.
  uintptr_t Add(Entry entry, const char* kind = nullptr) {
    uintptr_t value = next_;
    next_ += step_;
    Insert(value, std::move(entry), kind);
    return value;
  }

  // An entry under a value the caller chose (an identifier the area assigns itself).
  void Insert(uintptr_t value, Entry entry, const char* kind = nullptr) {
    rows_[value] = Row{std::move(entry), kind ? kind : kind_, GetCurrentProcessId()};
  }

  Entry* Find(uintptr_t value) {
    auto it = rows_.find(value);
    return it == rows_.end() ? nullptr : &it->second.entry;
  }
  template <typename Object>
  Entry* Find(Object* handle) {
    return Find(reinterpret_cast<uintptr_t>(handle));
  }

  // Takes the entry out of the table into `*removed` (when given); false when `value` is not open.
  bool Remove(uintptr_t value, Entry* removed = nullptr) {
    auto it = rows_.find(value);
    if (it == rows_.end()) return false;
    if (removed) *removed = std::move(it->second.entry);
    rows_.erase(it);
    return true;
  }
  template <typename Object>
  bool Remove(Object* handle, Entry* removed = nullptr) {
    return Remove(reinterpret_cast<uintptr_t>(handle), removed);
  }

  // Takes out every entry `process` opened, for its end.
  std::vector<Entry> RemoveOwnedBy(DWORD process) {
    std::vector<Entry> removed;
    for (auto it = rows_.begin(); it != rows_.end();) {
      if (it->second.owner != process) {
        ++it;
        continue;
      }
      removed.push_back(std::move(it->second.entry));
      it = rows_.erase(it);
    }
    return removed;
  }

  size_t Size() const { return rows_.size(); }

  // Calls `visit(value, entry)` for each open entry, in the order of their values.
  template <typename Visit>
  void ForEach(Visit visit) {
    for (auto& [value, row] : rows_) visit(value, row.entry);
  }

  // Forgets every entry; `restartNumbering` hands out values from the first one again.
  void Clear(bool restartNumbering) {
    rows_.clear();
    if (restartNumbering) next_ = first_;
  }

  // The leak report: one line per open entry, `names(entry)` saying what it names (nothing when
  // it returns an empty text).
  template <typename Names>
  std::vector<std::string> List(Names names) const {
    std::vector<std::string> lines;
    for (const auto& [value, row] : rows_) {
      char number[32];
      std::snprintf(number, sizeof number, decimal_ ? "%zu" : "0x%zx", static_cast<size_t>(value));
      std::string line = std::string(row.kind) + " " + number;
      std::string what = names(row.entry);
      if (!what.empty()) line += " " + what;
      lines.push_back(std::move(line));
    }
    return lines;
  }

 private:
  struct Row {
    Entry entry;
    const char* kind;
    DWORD owner;
  };

  std::map<uintptr_t, Row> rows_;
  const char* kind_;
  uintptr_t first_;
  uintptr_t step_;
  uintptr_t next_;
  bool decimal_;
};

}  // namespace host
