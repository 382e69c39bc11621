// The list with several printers queried at once: one child corvelcmd per printer (each
// process has its own engine context), up to a number at a time; parallel-port printers alone,
// after the others, since their queries stop and start the print spooler.
#pragma once

#include <string>
#include <vector>

#include "cli/fleet.h"
#include "cli/interrupt.h"

// The arguments that make corvelcmd the child for one printer: it prints the list's JSON
// document for that printer alone and takes no single-instance mutex.
constexpr char kChildOption[] = "--child";

struct ChildListing {
  std::vector<PrinterReport> printers;  // the listed ones, in the spooler's order
  std::vector<std::string> errors;      // children that ended badly, one sentence each
};

// Queries every installed printer of the supported driver, up to `jobs` at once. A printer
// whose child cannot be started is queried in this process instead. `logFile` is handed on.
ChildListing ListInChildren(int jobs, const std::string& logFile, InterruptGuard& guard);

// Reads a child's JSON document back; false when it is not one.
bool ReadChildListing(const std::string& json, std::vector<PrinterReport>& printers);
