#include "cli/commands.h"

#include <algorithm>
#include <istream>
#include <nlohmann/json.hpp>

#include "app/listed_printers.h"
#include "cli/corvelcmd.h"
#include "cli/fleet.h"
#include "cli/parallel_list.h"
#include "cli/text.h"
#include "diag/diag_log.h"
#include "platform/win32.h"

namespace {

using Row = std::vector<std::string>;

// Columns padded to their widest cell, two blanks apart.
std::string Table(const std::vector<Row>& rows) {
  std::vector<size_t> widths;
  for (const Row& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string text;
  for (const Row& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    text += line + "\n";
  }
  return text;
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

// What the list shows as the decision: update, current, or the dialog's sentence.
std::string DecisionText(const PrinterReport& printer) {
  if (printer.decision == Decision::Update || printer.decision == Decision::Current) {
    return DecisionName(printer.decision);
  }
  return printer.message.empty() ? DecisionName(printer.decision) : printer.message;
}

// What the update shows as a printer's result: the dialog's "-- Updated --" after a burn.
std::string ResultText(const PrinterReport& printer) {
  if (printer.decision == Decision::Updated) return "-- Updated --";
  if (printer.decision == Decision::Update) return "update (dry run)";
  return DecisionText(printer);
}

// The exit code for the printers a command was asked about.
int ExitCodeOf(const std::vector<PrinterReport>& printers) {
  bool skipped = false;
  for (const PrinterReport& printer : printers) {
    switch (printer.decision) {
      case Decision::Error:
      case Decision::Failed:
      case Decision::Stopped:
        return EXIT_UPDATE_FAILED;
      case Decision::Unsupported:
        skipped = true;
        break;
      default:
        break;
    }
  }
  return skipped ? EXIT_SKIPPED : EXIT_DONE;
}

const char kNoPrinters[] = "No printers found.";

nlohmann::ordered_json ErrorObject(int code, const std::string& message) { return {{"code", code}, {"message", message}}; }

nlohmann::ordered_json PrinterJson(const PrinterReport& printer) {
  nlohmann::ordered_json entry = {
      {"name", Utf8(printer.name.c_str())},
      {"connection", Utf8(ConnectionName(printer.kind))},
      {"address", Utf8(printer.address.c_str())},
      {"firmware", printer.firmware},
      {"image", printer.image.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(printer.image)},
      {"image_version", printer.imageVersion.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(printer.imageVersion)},
      {"decision", DecisionName(printer.decision)},
      {"message", printer.message.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(printer.message)},
  };
  int code = ExitCodeOf({printer});
  entry["error"] = code == EXIT_DONE ? nlohmann::ordered_json() : ErrorObject(code, DecisionText(printer));
  return entry;
}

// Whether standard input is a console, where the program may ask.
bool InputIsConsole() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

}  // namespace

int RunListCommand(const ListOptions& options, ConsoleOutput& output, InterruptGuard& guard) {
  std::vector<PrinterReport> printers;
  std::vector<std::string> errors;
  if (!options.child.empty()) {
    PrinterReport printer;
    if (ListOnePrinter(Wide(options.child), printer)) printers.push_back(printer);
  } else if (options.jobs > 1) {
    ChildListing listing = ListInChildren(options.jobs, options.logFile, guard);
    printers = listing.printers;
    errors = listing.errors;
  } else {
    printers = ListPrinters(guard);
  }
  // The children decided already.
  const bool decidedByChildren = options.child.empty() && options.jobs > 1;
  if (!decidedByChildren) {
    for (PrinterReport& printer : printers) {
      if (guard.StopRequested()) break;
      RunWorkflow(printer, WorkflowOptions{}, guard);
    }
  }
  int code = printers.empty() ? EXIT_NO_PRINTER : EXIT_DONE;
  if (guard.StopRequested()) errors.push_back("Stopped.");
  if (!errors.empty()) code = EXIT_UPDATE_FAILED;

  if (options.json) {
    nlohmann::ordered_json document = {{"printers", nlohmann::ordered_json::array()}, {"errors", nlohmann::ordered_json::array()}};
    for (const PrinterReport& printer : printers) document["printers"].push_back(PrinterJson(printer));
    if (printers.empty()) document["errors"].push_back(ErrorObject(EXIT_NO_PRINTER, kNoPrinters));
    for (const std::string& error : errors) document["errors"].push_back(ErrorObject(EXIT_UPDATE_FAILED, error));
    output.Out(document.dump(2) + "\n");
    return code;
  }
  for (const std::string& error : errors) output.Err(error + "\n");
  if (printers.empty()) {
    output.Err(std::string(kNoPrinters) + "\n");
    return code;
  }
  std::vector<Row> rows = {{"PRINTER", "CONNECTION", "ADDRESS", "FIRMWARE", "IMAGE", "IMAGE VERSION", "DECISION"}};
  for (const PrinterReport& printer : printers) {
    rows.push_back({Utf8(printer.name.c_str()), Utf8(ConnectionName(printer.kind)), OrDash(Utf8(printer.address.c_str())),
                    OrDash(printer.firmware), OrDash(printer.image), OrDash(printer.imageVersion), DecisionText(printer)});
  }
  output.Out(Table(rows));
  return code;
}

int RunUpdateCommand(const UpdateOptions& options, ConsoleOutput& output, InterruptGuard& guard, std::istream& in) {
  const bool burn = !options.dryRun;
  const bool console = InputIsConsole();
  if (burn && !options.yes && !console) {
    output.Err("Standard input is not a terminal: give --yes to burn firmware without being asked, or --dry-run.\n");
    return EXIT_USAGE;
  }

  std::vector<PrinterReport> listed = ListPrinters(guard);
  if (guard.StopRequested()) {
    output.Err("Stopped before any printer was updated.\n");
    return EXIT_UPDATE_FAILED;
  }
  std::vector<PrinterReport> chosen;
  if (options.all) {
    chosen = listed;
  } else {
    for (const std::string& name : options.printers) {
      std::wstring wide = Wide(name);
      auto it = std::find_if(listed.begin(), listed.end(), [&](const PrinterReport& p) { return p.name == wide; });
      if (it == listed.end()) {
        output.Err("Printer not found: " + name + "\n");
        return EXIT_NO_PRINTER;
      }
      if (std::none_of(chosen.begin(), chosen.end(), [&](const PrinterReport& p) { return p.name == wide; })) {
        chosen.push_back(*it);
      }
    }
  }
  if (chosen.empty()) {
    output.Err(std::string(kNoPrinters) + "\n");
    return EXIT_NO_PRINTER;
  }

  if (burn && !options.yes) {
    output.Out("Update the firmware of " + std::to_string(chosen.size()) +
               " printer(s) where it is older than its image? Do not switch them off meanwhile. [y/N] ");
    std::string answer;
    std::getline(in, answer);
    if (answer.empty() || (answer[0] != 'y' && answer[0] != 'Y')) {
      DiagLog::Write(L"Update declined at the prompt");
      for (PrinterReport& printer : chosen) printer.decision = Decision::Stopped;
      output.Out("Nothing was updated.\n");
      return EXIT_UPDATE_FAILED;
    }
  }

  std::vector<std::string> after(chosen.size());
  for (size_t i = 0; i < chosen.size(); ++i) {
    PrinterReport& printer = chosen[i];
    if (guard.StopRequested()) {
      printer.decision = Decision::Stopped;
      continue;
    }
    output.Out(Utf8(printer.name.c_str()) + " (" + Utf8(ConnectionName(printer.kind)) +
               (printer.address.empty() ? "" : ", " + Utf8(printer.address.c_str())) + "), firmware " +
               OrDash(printer.firmware) + "\n");
    RunWorkflow(printer, WorkflowOptions{burn, &output}, guard);
    if (printer.decision == Decision::Updated) after[i] = QueryVersion(printer);
    std::string result = printer.message.empty() ? ResultText(printer) : printer.message;
    output.Out("  " + result + (after[i].empty() ? "" : ": firmware " + after[i]) + "\n");
  }

  std::vector<Row> rows = {{"PRINTER", "CONNECTION", "BEFORE", "IMAGE VERSION", "AFTER", "RESULT"}};
  for (size_t i = 0; i < chosen.size(); ++i) {
    const PrinterReport& printer = chosen[i];
    std::string result = ResultText(printer);
    rows.push_back({Utf8(printer.name.c_str()), Utf8(ConnectionName(printer.kind)), OrDash(printer.firmware),
                    OrDash(printer.imageVersion), OrDash(after[i]), result});
  }
  output.Out("\nSummary\n" + Table(rows));
  return ExitCodeOf(chosen);
}
