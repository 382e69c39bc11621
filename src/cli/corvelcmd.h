// corvelcmd, the command-line companion of the dialog: lists the supported printers with their
// firmware and the download decision, and updates one, several or all of them, through the same
// workflow as the dialog. Its exit code says what happened.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

enum CorvelCmdExit : int {
  EXIT_DONE = 0,             // every asked printer updated or already current
  EXIT_UPDATE_FAILED = 1,    // at least one update failed (or was stopped or declined)
  EXIT_USAGE = 2,            // the command line is wrong
  EXIT_ALREADY_RUNNING = 3,  // the dialog or another corvelcmd runs
  EXIT_NO_PRINTER = 4,       // no supported printer found, or a named printer not found
  EXIT_SKIPPED = 5,          // at least one printer skipped: its image is missing (none failed or unreachable)
  EXIT_NOT_ELEVATED = 6,     // not run from an elevated prompt
  EXIT_UNREACHABLE = 7,      // at least one printer could not be reached, and none failed
};

// The whole program: `args` are the arguments after the program's name (UTF-8), `in` the
// standard input (read for the prompt when it is a console). Returns the exit code.
int RunCorvelCmd(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in);
