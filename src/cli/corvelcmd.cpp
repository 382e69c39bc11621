#include "cli/corvelcmd.h"

#include <CLI/CLI.hpp>

#include "app/dll_search_path.h"
#include "app/single_instance.h"
#include "app/version.h"
#include "cli/addresses.h"
#include "cli/child_list.h"
#include "cli/commands.h"
#include "cli/text.h"
#include "diag/diag_log.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace {

const char kExitCodes[] =
    "Exit codes:\n"
    "  0  every asked printer was updated or is already current (list: printers were found)\n"
    "  1  at least one update failed or was not verified, or was not carried out (stopped with Ctrl+C,\n"
    "     declined, --max-failures reached, the canary not updated;\n"
    "     list: a printer it could not decide for)\n"
    "  2  usage error (also: a bad address, an address file that cannot be read)\n"
    "  3  another instance is running (the dialog or corvelcmd)\n"
    "  4  no supported printer found, or a named printer not installed\n"
    "  5  at least one printer skipped: its image is missing or not supported (none failed or unreachable);\n"
    "     or a bad image stopped the run before any printer\n"
    "  6  not elevated: run it from an elevated command prompt\n"
    "  7  at least one printer could not be reached (its device, address or version), and none failed\n"
    "When several apply: 1 over 7 over 5 over 0.\n";

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
  std::vector<std::string> listAddresses, listAddressFiles;
  list->add_option("--address", listAddresses, "a network printer's address (IPv4 or host name; repeatable): "
                                               "ask these printers instead of the installed ones")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  list->add_option("--addresses-from", listAddressFiles, "a file of addresses, one a line (# comments)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  // A child of --jobs: the one printer, as JSON, without the single-instance mutex.
  list->add_option(kChildOption, listOptions.child)->group("");
  list->add_option(kChildAddressOption, listOptions.childAddress)->group("");

  UpdateOptions updateOptions;
  CLI::App* update = app.add_subcommand("update", "update the firmware of the named printers, or of all");
  CLI::Option* printer = update->add_option("--printer", updateOptions.printers, "a printer's exact name (repeatable)")
                             ->expected(1)
                             ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  update->add_flag("--all", updateOptions.all, "every listed printer")->excludes(printer);
  update->add_flag("--dry-run", updateOptions.dryRun, "stop after the decision: nothing is burned");
  update->add_flag("--yes", updateOptions.yes, "burn without asking (needed when standard input is not a terminal)");
  std::vector<std::string> updateAddressFiles;
  update->add_option("--address", updateOptions.addresses, "a network printer's address (IPv4 or host name; repeatable)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  update->add_option("--addresses-from", updateAddressFiles, "a file of addresses, one a line (# comments)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  update->add_flag("--json", updateOptions.json, "print one JSON document of the results instead of the summary");
  update->add_flag("--quiet", updateOptions.quiet, "print no progress: only the summary (or the JSON document)");
  update->add_option("--jobs", updateOptions.jobs, "update up to N network printers at once, one child process each")
      ->check(CLI::Range(1, 64));
  update->add_option("--max-failures", updateOptions.maxFailures,
                     "start no further printer once K updates failed (running ones finish); the rest are stopped")
      ->check(CLI::Range(1, 1000000));
  update->add_flag("--count-unreachable", updateOptions.countUnreachable,
                   "count unreachable printers as failures for --max-failures");
  update->add_flag("--canary", updateOptions.canary,
                   "update the first printer that needs it alone; the rest start only when it is updated");
  // A child of --jobs: one printer, as JSON, without the single-instance mutex or a prompt.
  update->add_flag(kChildOption, updateOptions.child)->group("");

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
    listOptions.logFile = logFile;
    updateOptions.logFile = logFile;
    if (list->parsed() && (!listOptions.child.empty() || !listOptions.childAddress.empty())) listOptions.json = true;
    if (updateOptions.child) updateOptions.json = true;
    if (update->parsed() && updateOptions.printers.empty() && !updateOptions.all && updateOptions.addresses.empty() &&
        updateAddressFiles.empty()) {
      throw CLI::ValidationError("update", "name the printers with --printer NAME or --address ADDRESS, or give --all");
    }
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e, out, err);
    return code == 0 ? EXIT_DONE : EXIT_USAGE;
  }
  {
    std::string error;
    bool good = list->parsed() ? CollectAddresses(listAddresses, listAddressFiles, listOptions.addresses, error)
                               : CollectAddresses(std::vector<std::string>(updateOptions.addresses), updateAddressFiles,
                                                  updateOptions.addresses, error);
    if (good && !listOptions.childAddress.empty() && !IsAddressOrHostName(listOptions.childAddress)) {
      error = "--child-address: \"" + listOptions.childAddress + "\" is neither an IPv4 address nor a host name.";
      good = false;
    }
    if (!good) {
      err << error << "\n";
      return EXIT_USAGE;
    }
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
  const bool child = !listOptions.child.empty() || !listOptions.childAddress.empty() || updateOptions.child;
  if (!child) instance = TakeInstanceMutex(alreadyRunning);
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
