#include "cli/commands.h"

#include <algorithm>
#include <istream>

#include "app/firmware_workflow.h"
#include "app/image_files.h"
#include "engine/firmware_image.h"
#include "app/listed_printers.h"
#include "cli/child_list.h"
#include "cli/corvelcmd.h"
#include "cli/fleet.h"
#include "cli/parallel_update.h"
#include "cli/report_json.h"
#include "cli/text.h"
#include "diag/diag_log.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace {

using Row = std::vector<std::string>;

// Columns padded to their widest cell by display width, two blanks apart.
std::string Table(const std::vector<Row>& rows) {
  std::vector<size_t> widths;
  for (const Row& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  }
  std::string text;
  for (const Row& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - DisplayWidth(row[i]) + 2, ' ');
    }
    text += line + "\n";
  }
  return text;
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

// What the list shows as the decision: update, current, "unreachable: " and why, or the
// dialog's sentence for why not.
std::string DecisionText(const PrinterReport& printer) {
  if (printer.decision == Decision::Update || printer.decision == Decision::Current) {
    return DecisionName(printer.decision);
  }
  if (printer.decision == Decision::Unreachable) return "unreachable: " + printer.message;
  return printer.message.empty() ? DecisionName(printer.decision) : printer.message;
}

// What the update shows as a printer's result: the dialog's "-- Updated --" after a burn.
std::string ResultText(const PrinterReport& printer) {
  if (printer.decision == Decision::Updated) return "-- Updated --";
  if (printer.decision == Decision::Update) return "update (dry run)";
  return DecisionText(printer);
}

const char kNoPrinters[] = "No printers found.";

// Whether standard input is a console, where the program may ask.
bool InputIsConsole() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

std::string Heading(const PrinterReport& printer) {
  return Utf8(printer.name.c_str()) + " (" + Utf8(ConnectionName(printer.kind)) +
         (printer.address.empty() || printer.address == printer.name ? "" : ", " + Utf8(printer.address.c_str())) + ")";
}

// One printer's update, run here: it is asked as the list asks it, then its workflow runs.
void UpdateHere(PrinterReport& printer, const UpdateOptions& options, ConsoleOutput& output, InterruptGuard& guard) {
  if (guard.StopRequested()) {
    printer.decision = Decision::Stopped;
    return;
  }
  const ULONGLONG start = ::GetTickCount64();
  ConsoleOutput* progress = options.quiet ? nullptr : &output;
  // A child's lines on the shared standard error say whose they are.
  const std::string prefix = options.child ? Utf8(printer.name.c_str()) + ": " : "";
  if (printer.byAddress) {
    printer = QueryAddressPrinter(Utf8(printer.name.c_str()));
  } else if (!ListOnePrinter(printer.name, printer)) {
    // Taken away since the run began.
    printer.decision = Decision::Unreachable;
    printer.message = "The printer is no longer installed.";
  }
  if (progress) {
    progress->Err(prefix + Heading(printer) +
                  (Undecided(printer) ? ", firmware " + OrDash(printer.firmware) : ": " + ResultText(printer)) + "\n");
  }
  if (Undecided(printer)) {
    RunWorkflow(printer, WorkflowOptions{!options.dryRun, progress, prefix}, guard);
    if (printer.decision == Decision::Updated) VerifyBurn(printer);
    if (progress) {
      std::string result = printer.message.empty() ? ResultText(printer) : printer.message;
      if (printer.decision == Decision::Unreachable) result = ResultText(printer);
      progress->Err(prefix + "  " + result + (printer.after.empty() ? "" : ": firmware " + printer.after) + "\n");
    }
  }
  printer.seconds = static_cast<double>(::GetTickCount64() - start) / 1000.0;
}

// The largest image a burn sends: its length goes to the printer as a 32-bit number, and the
// network burn counts it in an int.
constexpr DWORD kLargestImage = 0x7FFFFFFF;

// Reads every image beside the program once, before any burn: each that is there must read
// whole, hold something within what a burn sends, and carry a version above 0. An image that is
// not there is left to the printers that would need it (the dialog's sentence); none at all
// stops the run. Returns the sentence that stops the run, empty when the images are good.
std::string PreflightImages() {
  int present = 0;
  for (int slot = 0; slot < IMAGE_SLOT_COUNT; ++slot) {
    wchar_t path[PROGRAM_PATH_CHARS] = {};
    if (!GetImagePath(slot, path)) continue;
    const std::string name = Utf8(imageFiles[slot]);
    platform::UniqueFile file(
        ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;
      return "The firmware image " + name + " cannot be opened (error " + std::to_string(error) + ").";
    }
    ++present;
    DWORD high = 0;
    DWORD size = ::GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
      return "The size of the firmware image " + name + " cannot be read.";
    }
    if (size == 0 && high == 0) return "The firmware image " + name + " is empty.";
    if (high != 0 || size > kLargestImage) return "The firmware image " + name + " is too large to be burned.";
    std::vector<uint8_t> bytes(size);
    DWORD done = 0;
    if (!::ReadFile(file.get(), bytes.data(), size, &done, nullptr) || done != size) {
      return "The firmware image " + name + " cannot be read whole.";
    }
    if (ImageVersionOf(bytes.data(), bytes.size()) <= 0) return "The firmware image " + name + " carries no version.";
  }
  if (present == 0) return "No firmware image was found beside the program.";
  return "";
}

}  // namespace

int RunListCommand(const ListOptions& options, ConsoleOutput& output, InterruptGuard& guard) {
  std::vector<PrinterReport> printers;
  std::vector<std::string> errors;
  const bool child = !options.child.empty() || !options.childAddress.empty();
  if (!options.child.empty()) {
    PrinterReport printer;
    if (ListOnePrinter(Wide(options.child), printer)) printers.push_back(printer);
  } else if (!options.childAddress.empty()) {
    printers.push_back(QueryAddressPrinter(options.childAddress));
  } else if (options.jobs > 1) {
    ChildListing listing = ListInChildren(options.jobs, options.addresses, options.logFile, guard);
    printers = listing.printers;
    errors = listing.errors;
  } else if (options.addresses.empty()) {
    printers = ListPrinters(guard);
  } else {
    for (const std::string& address : options.addresses) {
      if (guard.StopRequested()) break;
      printers.push_back(QueryAddressPrinter(address));
    }
  }
  // The children decided already.
  if (child || options.jobs == 1) {
    for (PrinterReport& printer : printers) {
      if (guard.StopRequested()) break;
      RunWorkflow(printer, WorkflowOptions{}, guard);
    }
  }
  if (guard.StopRequested()) errors.push_back("Stopped.");
  const bool unreachable = std::any_of(printers.begin(), printers.end(),
                                       [](const PrinterReport& p) { return p.decision == Decision::Unreachable; });
  // A printer that answered its version but not the decision's next query has no decision: the
  // list did not do what it was asked for that printer.
  const bool undecided = std::any_of(printers.begin(), printers.end(),
                                     [](const PrinterReport& p) { return p.decision == Decision::Error; });
  int code = !errors.empty() || undecided ? EXIT_UPDATE_FAILED
             : printers.empty() ? EXIT_NO_PRINTER
             : unreachable ? EXIT_UNREACHABLE
                           : EXIT_DONE;

  if (options.json) {
    std::vector<nlohmann::ordered_json> entries;
    for (const PrinterReport& printer : printers) entries.push_back(ListEntry(printer));
    std::vector<RunError> runErrors;
    if (printers.empty()) runErrors.push_back({EXIT_NO_PRINTER, kNoPrinters});
    for (const std::string& error : errors) runErrors.push_back({EXIT_UPDATE_FAILED, error});
    output.Out(Document(entries, runErrors));
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

  // The printers asked about, in order: the installed ones named (or all), then the addresses.
  // Nothing is asked of any printer yet.
  std::vector<PrinterReport> chosen;
  std::vector<std::wstring> installed = InstalledPrinterNames();
  auto add = [&](const std::wstring& name, bool byAddress) {
    if (std::any_of(chosen.begin(), chosen.end(), [&](const PrinterReport& p) { return p.name == name; })) return;
    PrinterReport printer;
    printer.name = name;
    printer.byAddress = byAddress;
    if (!byAddress) printer.kind = ConnectionKindOf(name.c_str());
    printer.decision = Decision::Stopped;  // until it is run
    chosen.push_back(printer);
  };
  if (options.all) {
    for (const std::wstring& name : installed) add(name, false);
  }
  for (const std::string& name : options.printers) {
    std::wstring wide = Wide(name);
    if (std::find(installed.begin(), installed.end(), wide) == installed.end()) {
      output.Err("Printer not found: " + name + "\n");
      return EXIT_NO_PRINTER;
    }
    add(wide, false);
  }
  for (const std::string& address : options.addresses) add(Wide(address), true);
  if (chosen.empty()) {
    output.Err(std::string(kNoPrinters) + "\n");
    return EXIT_NO_PRINTER;
  }

  // A bad image stops the run before any printer is asked.
  if (burn && !options.child) {
    std::string bad = PreflightImages();
    if (!bad.empty()) {
      DiagLog::Write(L"Preflight: %ls", Wide(bad).c_str());
      if (options.json) {
        output.Out(Document({}, {RunError{EXIT_SKIPPED, bad}}));
      } else {
        output.Err(bad + "\n");
      }
      return EXIT_SKIPPED;
    }
  }

  bool declined = false;
  if (burn && !options.yes && !options.child) {
    output.Err("Update the firmware of " + std::to_string(chosen.size()) +
               " printer(s) where it is older than its image? Do not switch them off meanwhile. [y/N] ");
    std::string answer;
    std::getline(in, answer);
    if (answer.empty() || (answer[0] != 'y' && answer[0] != 'Y')) {
      DiagLog::Write(L"Update declined at the prompt");
      output.Err("Nothing was updated.\n");
      declined = true;
    }
  }

  std::string canaryError;
  if (!declined) {
    auto here = [&](PrinterReport& printer) { UpdateHere(printer, options, output, guard); };
    FailureLimit limit{options.maxFailures, options.countUnreachable};
    size_t from = 0;
    if (options.canary && !options.child) {
      // The printers are run here one by one up to the first that needs an update: it must end
      // updated, its version read back, before any other starts.
      while (from < chosen.size() && !limit.Reached()) {
        PrinterReport& printer = chosen[from++];
        here(printer);
        limit.Count(printer);
        if (printer.decision == Decision::Updated || printer.decision == Decision::Update) break;
        if (printer.decision == Decision::Current || printer.decision == Decision::Unsupported ||
            printer.decision == Decision::Unreachable) {
          continue;
        }
        canaryError = "The canary " + Utf8(printer.name.c_str()) + " was not updated: " +
                      (printer.message.empty() ? ResultName(printer) : printer.message);
        DiagLog::Write(L"%ls", Wide(canaryError).c_str());
        for (size_t i = from; i < chosen.size(); ++i) {
          chosen[i].decision = Decision::Stopped;
          chosen[i].message = "not started: the canary " + Utf8(printer.name.c_str()) + " was not updated";
        }
        from = chosen.size();
      }
    }
    if (options.jobs > 1 && !options.child) {
      UpdateInChildren(chosen, from, options, output, guard, limit, here);
    } else {
      for (size_t i = from; i < chosen.size(); ++i) {
        if (limit.Reached()) {
          chosen[i].decision = Decision::Stopped;
          chosen[i].message = limit.Reason();
          continue;
        }
        here(chosen[i]);
        limit.Count(chosen[i]);
      }
    }
  }

  if (options.json) {
    std::vector<nlohmann::ordered_json> entries;
    for (const PrinterReport& printer : chosen) entries.push_back(UpdateEntry(printer));
    std::vector<RunError> errors;
    if (declined) errors.push_back({EXIT_UPDATE_FAILED, "Nothing was updated."});
    if (!canaryError.empty()) errors.push_back({EXIT_UPDATE_FAILED, canaryError});
    if (guard.StopRequested()) errors.push_back({EXIT_UPDATE_FAILED, "Stopped."});
    output.Out(Document(entries, errors));
  } else {
    // The image is named by the first 12 hex digits of its SHA-256, as the JSON has it whole.
    std::vector<Row> rows = {{"PRINTER", "CONNECTION", "BEFORE", "IMAGE VERSION", "SHA-256", "AFTER", "RESULT"}};
    for (const PrinterReport& printer : chosen) {
      rows.push_back({Utf8(printer.name.c_str()), Utf8(ConnectionName(printer.kind)), OrDash(printer.firmware),
                      OrDash(printer.imageVersion), OrDash(printer.imageSha256.substr(0, 12)), OrDash(printer.after),
                      ResultText(printer)});
    }
    output.Out((options.quiet ? "" : "\nSummary\n") + Table(rows));
    if (!canaryError.empty()) output.Err(canaryError + "\n");
  }
  return declined ? EXIT_UPDATE_FAILED : ExitCodeOf(chosen);
}
