// The printers as corvelcmd reports them: every installed printer of the supported driver (and
// every network printer given by its address), each with the image the workflow would burn into
// it and its decision, and the workflow run for one printer with its stages printed as they come.
#pragma once

#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/interrupt.h"
#include "engine/engine_context.h"

enum class Decision {
  Update,       // the printer is older than its image
  Current,      // it has the image's firmware
  Unsupported,  // its image is missing, or (by address) its device ID names another model
  Error,        // it answered its version but not what the workflow asked next (the message says why)
  Unreachable,  // its device, its address or its version could not be found (the message says why)
  Stopped,      // not updated: the run was stopped or the burn declined
  Updated,      // burned
  Failed,       // the burn failed, or the printer reports another version than the image's after it
  Unverified,   // burned, but the printer did not answer the version asked after the burn
};
// "update", "current", "unsupported", "error", "unreachable", "stopped", "updated", "failed",
// "unverified".
const char* DecisionName(Decision decision);
// The decision of that name; false when there is none.
bool DecisionNamed(const std::string& name, Decision& decision);

struct PrinterReport {
  std::wstring name;          // the installed printer's name, or the address it was given by
  ConnectionKind kind = CONNECTION_NETWORK;
  bool byAddress = false;     // a network printer not installed here, named by its address
  std::wstring address;       // as the engine takes it; empty for a parallel printer
  std::string firmware;       // the version text the printer reported when first asked
  std::string image;          // the image's file name; empty when none fits
  std::string imageVersion;   // empty when it cannot be read
  // The image's SHA-256 (lower-case hex) and size in bytes: of the bytes burned after a burn,
  // else of the file read once. Empty / -1 when unknown (no image, or it or its hash failed).
  std::string imageSha256;
  long long imageSize = -1;
  Decision decision = Decision::Error;
  std::string message;        // the dialog's sentence for the outcome, on one line; may be empty
  // After an update:
  std::string after;          // the version the printer reports after a burn; empty otherwise
  double seconds = 0;         // the time its query and run took
};

// Every installed printer of the supported driver in the spooler's order, the unreachable ones
// decided, the others without a decision yet. Stops early when the guard was asked to stop.
std::vector<PrinterReport> ListPrinters(const InterruptGuard& guard);

// The installed printers of the supported driver, by name, without asking any of them.
std::vector<std::wstring> InstalledPrinterNames();

// The one installed printer of that name as the list would show it (unreachable when it does not
// answer); false when no printer of the supported driver has that name.
bool ListOnePrinter(const std::wstring& name, PrinterReport& printer);

// The network printer at `address` (checked with IsAddressOrHostName), asked as the list asks an
// installed one: its address resolved, its version, then its device ID, which must name the
// supported model (otherwise it is decided unsupported, naming the model it gave).
PrinterReport QueryAddressPrinter(const std::string& address);

struct WorkflowOptions {
  bool burn = false;                  // false: stop after the decision
  ConsoleOutput* progress = nullptr;  // where the stages are printed (standard error); null for none
  std::string linePrefix;             // put before each stage line
};
// Runs the workflow for the printer and fills its image, decision and message. A printer already
// decided (unreachable, or unsupported by its device ID) is left as it is.
void RunWorkflow(PrinterReport& printer, const WorkflowOptions& options, InterruptGuard& guard);
// Whether the printer still needs its workflow run.
bool Undecided(const PrinterReport& printer);

// The printer's firmware version as it reports it now ("Unknown" when it does not answer).
std::string QueryVersion(const PrinterReport& printer);
// After a burn the printer reported as a success: its version asked again into `after`; a
// printer that reports another version than the image's fails, one that does not answer is
// unverified.
void VerifyBurn(PrinterReport& printer);

// The limit of an update on failed printers: once it is reached no further printer starts.
struct FailureLimit {
  int max = 0;                     // 0: no limit
  bool countUnreachable = false;   // unreachable printers count as failures too
  int failures = 0;

  // Counts the printer's result when it is a failure (failed, unverified, an error).
  void Count(const PrinterReport& printer);
  bool Reached() const { return max > 0 && failures >= max; }
  // Why a printer was not started: "not started: 3 updates failed, the limit is 3".
  std::string Reason() const;
};

// The exit code a printer's decision stands for: 1 a failure (unverified too), 7 unreachable,
// 5 skipped, else 0.
int ExitCodeOf(const PrinterReport& printer);
// The code for a run over these printers: 1 over 7 over 5 over 0.
int ExitCodeOf(const std::vector<PrinterReport>& printers);
