#include "discovery/installed_printers.h"

#include <cwchar>

#include "diag/diag_log.h"
#include "platform/wide_text.h"
#include "platform/unique_handle.h"

namespace {

// Installed printers and connections to shared printers.
constexpr DWORD kEnumFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;

bool DriverMatches(const wchar_t* driver, const std::wstring& supported) {
  return driver && _wcsicmp(driver, supported.c_str()) == 0;
}

// Copies a name field of a spooler record; a name that does not fit is refused with a line.
bool CopyNameField(wchar_t* target, const wchar_t* source, const wchar_t* what) {
  if (CopyWholeText(target, PRINTER_TEXT_CHARS, source)) return true;
  DiagLog::Write(L"  %ls too long (%u characters), refused: %.40ls...", what,
                 static_cast<unsigned>(std::wcslen(source)), source);
  return false;
}

}  // namespace

int FindInstalledPrinters(std::vector<std::wstring>& names, const std::vector<std::wstring>& driverNames) {
  DiagLog::Write(L"FindInstalledPrinters(driverList %d elements)", static_cast<int>(driverNames.size()));
  names.clear();
  int count = 0;
  if (driverNames.empty()) {
    DiagLog::Write(L"ERROR: DriverNameList is empty");
    return 0;
  }

  DWORD needed = 0;
  DWORD returned = 0;
  if (!spooler::EnumPrintersW(kEnumFlags, nullptr, 2, nullptr, 0, &needed, &returned)) {
    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) {
      DiagLog::WriteError(error, L"  EnumPrinters failed");
      return 0;
    }
  }
  platform::UniqueLocalMemory buffer(LocalAlloc(LMEM_FIXED, needed));
  if (!buffer) {
    DiagLog::Write(L"  malloc failed");
    return 0;
  }
  if (!spooler::EnumPrintersW(kEnumFlags, nullptr, 2, static_cast<LPBYTE>(buffer.get()), needed, &needed,
                              &returned)) {
    DiagLog::WriteError(GetLastError(), L"  EnumPrinters failed");
    return 0;
  }
  if (returned == 0) DiagLog::Write(L"  No Printers installed");

  const auto* records = static_cast<const PRINTER_INFO_2W*>(buffer.get());
  for (DWORD i = 0; i < returned; ++i) {
    const PRINTER_INFO_2W& record = records[i];
    for (const std::wstring& driver : driverNames) {
      if (!DriverMatches(record.pDriverName, driver) || !record.pPrinterName) continue;
      // Only names that fit the callers' name buffers are listed, so none is handed out cut.
      if (std::wcslen(record.pPrinterName) >= PRINTER_TEXT_CHARS) {
        DiagLog::Write(L"  Printer name too long (%u characters), left out: %.40ls...",
                       static_cast<unsigned>(std::wcslen(record.pPrinterName)), record.pPrinterName);
        continue;
      }
      names.emplace_back(record.pPrinterName);
      ++count;
      DiagLog::Write(L"  Found one of our printers %ls, count=%d", record.pPrinterName, count);
    }
  }
  if (count == 0) DiagLog::Write(L" Found NO printers with our drivername");
  return count;
}

int GetFirstInstalledPrinter(InstalledPrinterList& list, wchar_t* name, const std::vector<std::wstring>& driverNames) {
  list.position = 0;
  DiagLog::Write(L"GetFirstInstalledPrinter()");
  list.names.clear();
  list.count = FindInstalledPrinters(list.names, driverNames);
  if (list.names.empty()) return 0;
  CopyWholeText(name, PRINTER_TEXT_CHARS, list.names.front().c_str());
  return 1;
}

int GetNextInstalledPrinter(InstalledPrinterList& list, wchar_t* name) {
  DiagLog::Write(L"GetNextInstalledPrinter()");
  ++list.position;
  if (list.position >= static_cast<uint32_t>(list.count) || list.position >= list.names.size()) return 0;
  CopyWholeText(name, PRINTER_TEXT_CHARS, list.names[list.position].c_str());
  return 1;
}

int GetPrinterInfo(PrinterInfo& info, const wchar_t* printerName) {
  info.comment[0] = L'\0';
  info.jobs[0] = L'\0';
  info.portName[0] = L'\0';
  DiagLog::Write(L"GetPrinterInfo(%ls)----", printerName ? printerName : L"");

  platform::UniquePrinter printer;
  if (!spooler::OpenPrinterW(const_cast<LPWSTR>(printerName), printer.put(), nullptr)) {
    DiagLog::WriteError(GetLastError(), L"OpenPrinter() failed");
    return 0;
  }
  DWORD needed = 0;
  if (!spooler::GetPrinterW(printer.get(), 2, nullptr, 0, &needed)) {
    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) {
      DiagLog::WriteError(error, L"GetPrinter-1() failed");
      return 0;
    }
  }
  platform::UniqueLocalMemory buffer(LocalAlloc(LMEM_FIXED, needed));
  if (!buffer) {
    DiagLog::WriteError(GetLastError(), L"malloc() failed");
    return 0;
  }
  if (!spooler::GetPrinterW(printer.get(), 2, static_cast<LPBYTE>(buffer.get()), needed, &needed)) {
    DWORD error = GetLastError();
    DiagLog::Write(L"GetPrinter-2() failed");
    DiagLog::WriteError(error, L"GetPrinter-2() failed");
    return 0;
  }

  const auto* record = static_cast<const PRINTER_INFO_2W*>(buffer.get());
  // The fields are filled only when every name fits, so a refusal leaves them as documented.
  wchar_t portName[PRINTER_TEXT_CHARS];
  wchar_t driver[PRINTER_TEXT_CHARS];
  if (!CopyNameField(portName, record->pPortName, L"Port name") ||
      !CopyNameField(driver, record->pDriverName, L"Driver name")) {
    return 0;
  }
  std::wmemcpy(info.portName, portName, PRINTER_TEXT_CHARS);
  std::wmemcpy(info.driver, driver, PRINTER_TEXT_CHARS);
  // The comment is free text: a long one is shortened to its buffer.
  if (record->pComment && !CopyWholeText(info.comment, PRINTER_TEXT_CHARS, record->pComment)) {
    std::wmemcpy(info.comment, record->pComment, PRINTER_TEXT_CHARS - 1);
    info.comment[PRINTER_TEXT_CHARS - 1] = L'\0';
  }
  std::swprintf(info.jobs, PRINTER_JOBS_CHARS, L"%d", static_cast<int>(record->cJobs));

  DiagLog::Write(L"pInfo -");
  DiagLog::Write(L"       comment: %ls", info.comment);
  DiagLog::Write(L"       portName: %ls", info.portName);
  DiagLog::Write(L"       driver: %ls", info.driver);
  DiagLog::Write(L"       jobs: %ls", info.jobs);
  return 1;
}

int GetPortname(wchar_t* port, const wchar_t* printerName) {
  port[0] = L'\0';
  DiagLog::Write(L"GetPortname()");

  platform::UniquePrinter printer;
  if (!spooler::OpenPrinterW(const_cast<LPWSTR>(printerName), printer.put(), nullptr)) {
    DiagLog::Write(L"OpenPrinter() failed (gle=%d)", static_cast<int>(GetLastError()));
    return 0;
  }
  // Only the size this call reports is used; the call itself fails for want of a buffer.
  DWORD needed = 0;
  spooler::GetPrinterW(printer.get(), 2, nullptr, 0, &needed);
  platform::UniqueLocalMemory buffer(LocalAlloc(LMEM_FIXED, needed));
  if (!buffer) {
    DiagLog::Write(L"malloc failed (gle=%d)", static_cast<int>(GetLastError()));
    return 0;
  }
  if (!spooler::GetPrinterW(printer.get(), 2, static_cast<LPBYTE>(buffer.get()), needed, &needed)) {
    DiagLog::Write(L"GetPrinter failed (gle=%d)", static_cast<int>(GetLastError()));
    return 0;
  }
  const auto* record = static_cast<const PRINTER_INFO_2W*>(buffer.get());
  return CopyNameField(port, record->pPortName, L"Port name") ? 1 : 0;
}
