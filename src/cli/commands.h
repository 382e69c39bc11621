// The two commands of corvelcmd.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/interrupt.h"

struct ListOptions {
  bool json = false;
  int jobs = 1;           // printers queried at once (above 1: in child processes)
  std::string child;      // the one printer a child queries; empty in the parent
  std::string logFile;    // handed on to the children
};
int RunListCommand(const ListOptions& options, ConsoleOutput& output, InterruptGuard& guard);

struct UpdateOptions {
  std::vector<std::string> printers;  // exact names; empty with `all`
  bool all = false;
  bool dryRun = false;
  bool yes = false;
};
int RunUpdateCommand(const UpdateOptions& options, ConsoleOutput& output, InterruptGuard& guard, std::istream& in);
