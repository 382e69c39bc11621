// The simulated machine's processes, for tests: which programs exist, the system directory,
// and every process the program started (recorded, never run).
#pragma once

#include <functional>
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

// Runs `program` as another process of the same machine, on a thread of its own, and waits for it
// to end: GetCurrentProcessId reports a new identifier there (threads it creates inherit it), and
// when `program` returns, the windows, message queue and timers of that thread go and every
// kernel handle the process still holds is closed (so a named mutex it held is gone when those
// were its last handles). Everything else (files, registry, spooler, clock) is the one machine's.
// Returns the process identifier it had.
DWORD RunAsProcess(const std::function<void()>& program);

}  // namespace process
}  // namespace host
