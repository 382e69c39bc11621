// The test-facing control of the simulated print spooler: the installed printers. Any text of
// a printer may be absent, which the spooler reports as a null pointer in its records.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "winhost/base.h"

namespace host {
namespace spooler {

struct Printer {
  std::optional<std::wstring> name{};
  std::optional<std::wstring> port{};
  std::optional<std::wstring> driver{};
  std::optional<std::wstring> comment{};
  DWORD jobs = 0;
  // Listed under PRINTER_ENUM_CONNECTIONS (a connection to a shared printer) instead of
  // PRINTER_ENUM_LOCAL.
  bool connection = false;
};

// Installs a printer; printers are enumerated in the order they were added.
void AddPrinter(const Printer& printer);
// Removes every printer whose name matches (without regard to case).
void RemovePrinter(const std::wstring& name);
std::vector<Printer> Printers();

}  // namespace spooler
}  // namespace host
