// Updates with several network printers at once: one child corvelcmd per network printer
// (installed or by address), up to a number at a time, each running the single update's rules in
// a process of its own; USB and parallel-port printers are updated by this process alone, after
// the others.
#pragma once

#include <functional>
#include <vector>

#include "cli/commands.h"
#include "cli/fleet.h"

// Runs the update of each of `printers` (in the order given, none asked yet; each is replaced by
// its result in place). A child that cannot be started, or ends without a readable result, fails
// its printer with a sentence that says so. After Ctrl+C no further child starts and the running
// ones are waited for; the printers not started stay `stopped`. Only the printers from `from` on
// are run. Each result is counted in `limit` as it comes (a child's when it ends); once the limit
// is reached no further printer starts, and those not started are `stopped` with its reason.
void UpdateInChildren(std::vector<PrinterReport>& printers, size_t from, const UpdateOptions& options,
                      ConsoleOutput& output, InterruptGuard& guard, FailureLimit& limit,
                      const std::function<void(PrinterReport&)>& updateHere);
