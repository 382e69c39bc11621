// Runs the printer-server program as a child process (for the tests and the benchmarks).
#pragma once

#include <string>
#include <vector>

namespace simprinter {

class ServerProcess {
 public:
  // Starts the program with `arguments` and waits (up to 10 s) for its first output line, which
  // it writes once it listens. Running() tells whether that happened.
  explicit ServerProcess(const std::vector<std::string>& arguments);
  ~ServerProcess();

  bool Running() const { return running_; }
  const std::string& FirstLine() const { return firstLine_; }
  // Stops it with SIGTERM; returns the rest of its standard output and sets `exitCode`.
  std::string Stop(int* exitCode);

 private:
  int pid_ = -1;
  int output_ = -1;
  bool running_ = false;
  std::string firstLine_;
  std::string pending_;
};

}  // namespace simprinter
