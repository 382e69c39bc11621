// Entry point of corvelcmd.exe, the console program.
#include <iostream>
#include <string>
#include <vector>

#include "cli/corvelcmd.h"
#include "cli/text.h"
#include "platform/win32.h"

int wmain(int argc, wchar_t** argv) {
  // The output is UTF-8 (printer names may hold any character).
  ::SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  return RunCorvelCmd(args, std::cout, std::cerr, std::cin);
}
