// Ctrl+C and Ctrl+Break while corvelcmd runs. Before a burn they stop the run cleanly: the
// printer being asked is finished, no burn starts. During a burn they are refused with a
// message, since an interrupted flash can leave a printer without firmware.
#pragma once

#include "cli/console_output.h"

class InterruptGuard {
 public:
  // Installs the console control handler; one guard at a time.
  explicit InterruptGuard(ConsoleOutput& output);
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  bool StopRequested() const;
  // Before a burn: false when a stop was asked. Otherwise the burn has begun, and Ctrl+C is
  // refused until EndBurn.
  bool BeginBurn();
  void EndBurn();
};
