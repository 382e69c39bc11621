// The installed printers that a supported printer driver drives, read from the print spooler,
// and one printer's port name and descriptive fields. Free functions over the caller's buffers;
// nothing is kept between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

// Printer names and port names travel in buffers of this many characters, terminator included.
constexpr size_t PRINTER_TEXT_CHARS = 256;
constexpr size_t PRINTER_JOBS_CHARS = 20;

// The caller's iteration state over the supported printers.
struct InstalledPrinterList {
  std::vector<std::wstring> names;  // in the spooler's order
  uint32_t position = 0;            // index of the name last handed out
  int32_t count = 0;                // names the last search added
};

// Descriptive fields of one printer (null spooler texts give empty fields).
struct PrinterInfo {
  wchar_t portName[PRINTER_TEXT_CHARS];
  wchar_t comment[PRINTER_TEXT_CHARS];
  wchar_t jobs[PRINTER_JOBS_CHARS];  // queued jobs, in decimal
  wchar_t driver[PRINTER_TEXT_CHARS];
};

// Empties `names`, then appends the name of every installed printer whose driver name equals one
// of `driverNames` without regard to case, once per matching entry. Returns the number added (0
// on any failure, with `names` empty). Printers whose name does not fit a name buffer are left out.
int FindInstalledPrinters(std::vector<std::wstring>& names, const std::vector<std::wstring>& driverNames);

// Starts a pass: searches afresh and hands back the first name (1), or returns 0 with `name`
// untouched when there is none. `name` holds PRINTER_TEXT_CHARS characters.
int GetFirstInstalledPrinter(InstalledPrinterList& list, wchar_t* name, const std::vector<std::wstring>& driverNames);
// Hands back the next name (1), or returns 0 with `name` untouched when the pass is over.
int GetNextInstalledPrinter(InstalledPrinterList& list, wchar_t* name);

// Fills `info` from the spooler's level-2 record of the printer. Returns 1, or 0 with comment,
// jobs and port name empty and the driver as it was.
int GetPrinterInfo(PrinterInfo& info, const wchar_t* printerName);
// The name of the port the printer prints to, possibly empty, into `port` (PRINTER_TEXT_CHARS
// characters). Returns 1, or 0 with `port` empty.
int GetPortname(wchar_t* port, const wchar_t* printerName);
