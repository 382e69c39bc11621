// The simulated machine's processes, for tests: which programs exist, the system directory,
// and every process the program started (recorded, never run).
#pragma once

#include <string>
#include <vector>

#include "winhost/base.h"

namespace host {
namespace process {

struct Launch {
  std::string program;      // as the process was started, in the ANSI code page
  std::string commandLine;  // the whole command line, program name included
  ULONGLONG atMs;           // host-clock time of the start
};

// Processes started since the machine was reset, in order.
std::vector<Launch> Launches();

// The system directory (default "C:\Windows\system32"; a fresh machine has its rundll32.exe).
void SetSystemDirectory(const std::wstring& path);
// Programs the machine has besides the files on its drives (names compared without regard to
// case). RemoveProgram takes away one of them, e.g. the system's rundll32.exe.
void AddProgram(const std::wstring& path);
void RemoveProgram(const std::wstring& path);

}  // namespace process
}  // namespace host
