// The two commands of corvelcmd.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/interrupt.h"

struct ListOptions {
  bool json = false;
  int jobs = 1;                        // printers queried at once (above 1: in child processes)
  std::vector<std::string> addresses;  // network printers by address; empty: the installed ones
  std::string child;                   // the one installed printer a child queries; empty in the parent
  std::string childAddress;            // or the one address it queries
  std::string logFile;                 // handed on to the children
};
int RunListCommand(const ListOptions& options, ConsoleOutput& output, InterruptGuard& guard);

struct UpdateOptions {
  std::vector<std::string> printers;   // exact names; empty with `all`
  bool all = false;
  std::vector<std::string> addresses;  // network printers by address, after the installed ones
  bool dryRun = false;
  bool yes = false;
  bool json = false;
  bool quiet = false;                  // no progress: the summary (or the document) alone
  int jobs = 1;                        // network printers updated at once (above 1: in child processes)
  int maxFailures = 0;                 // no printer starts once this many failed (0: no limit)
  bool countUnreachable = false;       // unreachable printers count toward maxFailures
  bool canary = false;                 // the first printer that needs an update is updated alone first
  bool child = false;                  // a child of --jobs: one printer, JSON, no prompt
  std::string logFile;                 // handed on to the children
};
int RunUpdateCommand(const UpdateOptions& options, ConsoleOutput& output, InterruptGuard& guard, std::istream& in);
