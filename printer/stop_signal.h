// Tells a serving thread to stop: a pipe whose read end the thread polls beside its own
// descriptors, and pauses that end early.
#pragma once

#include <string>

namespace simprinter {

class StopSignal {
 public:
  StopSignal() = default;
  ~StopSignal() { Close(); }
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // False with `error` when the pipe cannot be made.
  bool Open(std::string* error);
  void Raise();
  // The descriptor to poll for reading: readable once raised.
  int Fd() const { return fds_[0]; }
  // Waits `ms` real milliseconds; false when the signal is raised.
  bool Pause(int ms) const;
  void Close();

 private:
  int fds_[2] = {-1, -1};
};

}  // namespace simprinter
