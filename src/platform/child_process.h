// Child processes of the program with their standard output read back: corvelcmd runs one per
// printer to query several at once (one engine context per process). The simulated host runs no
// program: there CreateProcessW, and so Start, fails with ERROR_NOT_SUPPORTED.
#pragma once

#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace platform {

class ChildProcess {
 public:
  // Starts `commandLine` (the program's quoted path first) with its standard output into a pipe
  // that this object reads and the parent's standard error. False, with the last error set, when
  // it could not be started.
  bool Start(const std::wstring& commandLine);
  HANDLE Process() const { return process_.get(); }
  // Once the child has ended: its whole output and its exit code. False when either cannot be read.
  bool Finish(std::string& output, DWORD& exitCode);

 private:
  UniqueKernelHandle process_;
  UniqueKernelHandle output_;
};

// Waits until one of `processes` (at most 64) has ended; its index, or -1 when the wait failed.
int WaitForAnyProcess(const std::vector<HANDLE>& processes);

// Waits until one of `running` (each with a `child`, a ChildProcess pointer) has ended, hands it
// to `reap` and drops it from the list. After a failed wait the oldest is taken, whose Finish
// then waits for it alone.
template <typename Running, typename Reap>
void ReapOne(std::vector<Running>& running, Reap reap) {
  std::vector<HANDLE> processes;
  for (const Running& r : running) processes.push_back(r.child->Process());
  int ended = WaitForAnyProcess(processes);
  size_t index = ended < 0 ? 0 : static_cast<size_t>(ended);
  reap(running[index]);
  running.erase(running.begin() + static_cast<long>(index));
}

// The full path of the running program, or empty.
std::wstring ProgramPath();

}  // namespace platform
