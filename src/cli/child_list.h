// The list with several printers queried at once: one child corvelcmd per printer (each
// process has its own engine context), up to a number at a time; parallel-port printers alone,
// after the others, since their queries stop and start the print spooler.
#pragma once

#include <string>
#include <vector>

#include "cli/fleet.h"
#include "cli/interrupt.h"

// The arguments that make corvelcmd the child for one printer: it prints the list's JSON
// document for that printer alone and takes no single-instance mutex. `list --child NAME` asks an
// installed printer, `list --child-address ADDRESS` a printer by its address.
constexpr char kChildOption[] = "--child";
constexpr char kChildAddressOption[] = "--child-address";

struct ChildListing {
  std::vector<PrinterReport> printers;  // in the spooler's order, then the addresses' order
  std::vector<std::string> errors;      // children that ended badly, one sentence each
};

// Queries every installed printer of the supported driver (or, when `addresses` are given, the
// printers at those addresses), up to `jobs` at once. A printer whose child cannot be started is
// queried in this process instead. `logFile` is handed on.
ChildListing ListInChildren(int jobs, const std::vector<std::string>& addresses, const std::string& logFile,
                            InterruptGuard& guard);

// One argument as CommandLineToArgvW reads it back: quoted, with backslashes doubled before a
// quote and quotes escaped.
std::wstring QuotedArgument(const std::wstring& argument);
// The start of a child's command line: the program's quoted path and the --log option when given.
// Empty when the program's path cannot be read.
std::wstring ChildCommandStart(const std::string& logFile);
