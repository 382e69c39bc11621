// The printers as corvelcmd reports them: the dialog's list, each printer with the image the
// workflow would burn into it and its decision, and the workflow run for one printer with its
// stages printed as they come.
#pragma once

#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/interrupt.h"
#include "engine/engine_context.h"

enum class Decision {
  Update,       // the printer is older than its image
  Current,      // it has the image's firmware
  Unsupported,  // its image is missing
  Error,        // it could not be asked (the message says why)
  Stopped,      // not updated: the run was stopped or the burn declined
  Updated,      // burned
  Failed,       // the burn failed
};
// "update", "current", "unsupported", "error", "stopped", "updated", "failed".
const char* DecisionName(Decision decision);

struct PrinterReport {
  std::wstring name;
  ConnectionKind kind = CONNECTION_NETWORK;
  std::wstring address;       // as the engine takes it; empty for a parallel printer
  std::string firmware;       // the version text the printer reported when listed
  std::string image;          // the image's file name; empty when none fits
  std::string imageVersion;   // empty when it cannot be read
  Decision decision = Decision::Error;
  std::string message;        // the dialog's sentence for the outcome, on one line; may be empty
};

// The printers the dialog would list, in its order, without a decision yet. Stops early when
// the guard was asked to stop.
std::vector<PrinterReport> ListPrinters(const InterruptGuard& guard);

// The one printer of that name as the list would show it; false when it would not be listed.
bool ListOnePrinter(const std::wstring& name, PrinterReport& printer);

struct WorkflowOptions {
  bool burn = false;                  // false: stop after the decision
  ConsoleOutput* progress = nullptr;  // where the stages are printed; null for none
};
// Runs the workflow for the printer and fills its image, decision and message.
void RunWorkflow(PrinterReport& printer, const WorkflowOptions& options, InterruptGuard& guard);

// The printer's firmware version as it reports it now ("Unknown" when it does not answer).
std::string QueryVersion(const PrinterReport& printer);
