#include "cli/corvelcmd.h"

#include <CLI/CLI.hpp>

#include "app/dll_search_path.h"
#include "app/single_instance.h"
#include "app/version.h"
#include "cli/commands.h"
#include "cli/parallel_list.h"
#include "cli/text.h"
#include "diag/diag_log.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace {

const char kExitCodes[] =
    "Exit codes:\n"
    "  0  every asked printer was updated or is already current (list: printers were found)\n"
    "  1  at least one update failed, or was not carried out (stopped with Ctrl+C, declined)\n"
    "  2  usage error\n"
    "  3  another instance is running (the dialog or corvelcmd)\n"
    "  4  no supported printer found, or a named printer not found\n"
    "  5  at least one printer skipped: its image is missing or not supported (no failure)\n"
    "  6  not elevated: run it from an elevated command prompt\n";

// Whether the process token is elevated; a token that cannot be asked counts as not elevated.
bool IsElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    DiagLog::WriteError(::GetLastError(), L"OpenProcessToken");
    return false;
  }
  platform::UniqueKernelHandle owner(token);
  TOKEN_ELEVATION elevation{};
  DWORD length = 0;
  if (!::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length)) {
    DiagLog::WriteError(::GetLastError(), L"GetTokenInformation (TokenElevation)");
    return false;
  }
  return elevation.TokenIsElevated != 0;
}

}  // namespace

int RunCorvelCmd(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  CLI::App app{"corvelcmd " CORVEL_VERSION_TEXT
               ": lists the TV Vexline Q5530n MFP printers with their firmware and updates them, as the "
               "Firmware Download Utility does.",
               "corvelcmd"};
  app.set_version_flag("--version", "corvelcmd " CORVEL_VERSION_TEXT);
  app.footer(kExitCodes);
  app.require_subcommand(1);
  app.fallthrough();
  std::string logFile;
  app.add_option("--log", logFile, "also append the trace, with timestamps, to this file");

  ListOptions listOptions;
  CLI::App* list = app.add_subcommand("list", "list the printers, their firmware, image and decision");
  list->add_flag("--json", listOptions.json, "print one JSON document instead of the table");
  list->add_option("--jobs", listOptions.jobs, "query up to N printers at once, one child process each")
      ->check(CLI::Range(1, 64));
  // A child of --jobs: the one printer, as JSON, without the single-instance mutex.
  list->add_option(kChildOption, listOptions.child)->group("");

  UpdateOptions updateOptions;
  CLI::App* update = app.add_subcommand("update", "update the firmware of the named printers, or of all");
  CLI::Option* printer = update->add_option("--printer", updateOptions.printers, "a printer's exact name (repeatable)")
                             ->expected(1)
                             ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  update->add_flag("--all", updateOptions.all, "every listed printer")->excludes(printer);
  update->add_flag("--dry-run", updateOptions.dryRun, "stop after the decision: nothing is burned");
  update->add_flag("--yes", updateOptions.yes, "burn without asking (needed when standard input is not a terminal)");

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
    listOptions.logFile = logFile;
    if (list->parsed() && !listOptions.child.empty()) listOptions.json = true;
    if (update->parsed() && updateOptions.printers.empty() && !updateOptions.all) {
      throw CLI::ValidationError("update", "name the printers with --printer NAME, or give --all");
    }
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e, out, err);
    return code == 0 ? EXIT_DONE : EXIT_USAGE;
  }

  RestrictDllSearchPath();
  DiagLog::SetPrefix(L"CORVL");
  DiagLog::SetCaption(L"Firmware Download Utility");
  // Set on every run (the trace log is process-wide): no --log, no file.
  {
    std::wstring path = Wide(logFile);
    DiagLog::SetLogFilePath(path.c_str());
    if (path != DiagLog::Instance().LogFilePath()) {
      err << "The log file's path is too long: " << logFile << "\n";
      return EXIT_USAGE;
    }
  }
  DiagLog::Write(L"corvelcmd %ls", CORVEL_VERSION_WTEXT);

  if (!IsElevated()) {
    err << "corvelcmd needs administrator rights: run it from an elevated command prompt (Run as administrator).\n";
    return EXIT_NOT_ELEVATED;
  }
  // The parent of a --jobs list holds the mutex for its children.
  bool alreadyRunning = false;
  platform::UniqueKernelHandle instance;
  if (listOptions.child.empty()) instance = TakeInstanceMutex(alreadyRunning);
  if (alreadyRunning) {
    err << "Another instance of this program is already running.\n";
    return EXIT_ALREADY_RUNNING;
  }

  ConsoleOutput output(out, err);
  int result = EXIT_DONE;
  {
    InterruptGuard guard(output);
    result = list->parsed() ? RunListCommand(listOptions, output, guard)
                            : RunUpdateCommand(updateOptions, output, guard, in);
  }
  if (instance) ::ReleaseMutex(instance.get());
  return result;
}
