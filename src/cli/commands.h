// The two commands of corvelcmd.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/interrupt.h"

struct ListOptions {
  bool json = false;
};
int RunListCommand(const ListOptions& options, ConsoleOutput& output, InterruptGuard& guard);

struct UpdateOptions {
  std::vector<std::string> printers;  // exact names; empty with `all`
  bool all = false;
  bool dryRun = false;
  bool yes = false;
};
int RunUpdateCommand(const UpdateOptions& options, ConsoleOutput& output, InterruptGuard& guard, std::istream& in);
