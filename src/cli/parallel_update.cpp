#include "cli/parallel_update.h"

#include <memory>

#include "cli/child_list.h"
#include "cli/report_json.h"
#include "cli/text.h"
#include "diag/diag_log.h"
#include "platform/child_process.h"

namespace {

struct Running {
  size_t index;
  ULONGLONG start;
  std::unique_ptr<platform::ChildProcess> child;
};

std::wstring ChildCommandLine(const std::wstring& start, const PrinterReport& printer, const UpdateOptions& options) {
  std::wstring line = start + L" update --child --json";
  line += options.dryRun ? L" --dry-run" : L" --yes";
  if (options.quiet) line += L" --quiet";
  line += printer.byAddress ? L" --address " : L" --printer ";
  return line + QuotedArgument(printer.name);
}

void Fail(PrinterReport& printer, const std::string& message) {
  printer.decision = Decision::Failed;
  printer.message = message;
}

// A child's result in place of its printer; a child without one fails the printer.
void Reap(Running& running, std::vector<PrinterReport>& printers) {
  PrinterReport& printer = printers[running.index];
  std::string output;
  DWORD code = 0;
  bool finished = running.child->Finish(output, code);
  std::vector<PrinterReport> results;
  if (finished && ReadUpdateDocument(output, results) && results.size() == 1 && results[0].name == printer.name) {
    results[0].byAddress = printer.byAddress;
    printer = results[0];
    return;
  }
  printer.seconds = static_cast<double>(::GetTickCount64() - running.start) / 1000.0;
  Fail(printer, "Its update in a child process ended with exit code " + std::to_string(code) + " and no result.");
  DiagLog::Write(L"The update of %ls ended with exit code %lu and no result", printer.name.c_str(),
                 static_cast<unsigned long>(code));
}

}  // namespace

void UpdateInChildren(std::vector<PrinterReport>& printers, size_t from, const UpdateOptions& options,
                      ConsoleOutput& output, InterruptGuard& guard, FailureLimit& failures,
                      const std::function<void(PrinterReport&)>& updateHere) {
  const std::wstring start = ChildCommandStart(options.logFile);
  const size_t limit = static_cast<size_t>(options.jobs);
  auto notStarted = [&](PrinterReport& printer) {
    printer.decision = Decision::Stopped;
    printer.message = failures.Reason();
  };
  std::vector<Running> running;
  auto reapOne = [&] {
    platform::ReapOne(running, [&](Running& ended) {
      Reap(ended, printers);
      failures.Count(printers[ended.index]);
    });
  };

  for (size_t i = from; i < printers.size(); ++i) {
    PrinterReport& printer = printers[i];
    if (printer.kind != CONNECTION_NETWORK) continue;
    while (running.size() >= limit) reapOne();
    if (guard.StopRequested()) break;
    if (failures.Reached()) {
      notStarted(printer);
      continue;
    }
    auto child = std::make_unique<platform::ChildProcess>();
    if (start.empty() || !child->Start(ChildCommandLine(start, printer, options))) {
      DWORD error = ::GetLastError();
      DiagLog::WriteError(error, L"CreateProcessW (the update of %ls)", printer.name.c_str());
      Fail(printer, "Its update could not be started in a child process (error " + std::to_string(error) + ").");
      if (!options.quiet) output.Err(Utf8(printer.name.c_str()) + ": " + printer.message + "\n");
      failures.Count(printer);
      continue;
    }
    running.push_back(Running{i, ::GetTickCount64(), std::move(child)});
  }
  while (!running.empty()) reapOne();

  for (size_t i = from; i < printers.size(); ++i) {
    PrinterReport& printer = printers[i];
    if (printer.kind == CONNECTION_NETWORK) continue;
    if (failures.Reached()) {
      notStarted(printer);
      continue;
    }
    updateHere(printer);
    failures.Count(printer);
  }
}
