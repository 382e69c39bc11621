// Stopping and restarting the print spooler service, around the use of the non-spooled
// parallel port. Both operations wait until the service reaches the wanted state, polling its
// status, and write no trace lines: their callers log a failure.
#pragma once

// Stops the "Spooler" service. Returns 1 when it ended stopped (or was not running, or the
// machine has no such service), else 0.
int StopSpoolerService();
// Starts the "Spooler" service. Returns 1 when it ended running (or already ran, or the machine
// has no such service), else 0.
int StartSpoolerService();
