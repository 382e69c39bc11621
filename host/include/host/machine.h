// The test-facing control of the simulated Windows machine: its lifetime, fault injection,
// call counting and the accounting of everything the program opens.
#pragma once

#include <string>
#include <vector>

#include "winhost/base.h"

namespace host {

// Puts the machine back into its initial state: every area of the host (files, registry,
// spooler, ...) is reset, faults and call counts are cleared, the clock restarts. Tests call it through the
// common test main before each test.
void ResetMachine();

// Everything the program holds open right now, over all areas, one line each ("spooler: printer
// handle 0x5b000 printer \"Office\""); empty when nothing leaks.
std::vector<std::string> OpenResources();

// Fault injection. A call named `api` fails with `error`: after `skip` successful calls, for
// `times` calls (times < 0: for every later call). The host's implementation of that call
// sets the error as its last error and returns its documented failure value. A name that is
// not one of the host's entry points is refused at once (std::invalid_argument).
void FailCall(const std::string& api, DWORD error, int times = 1, int skip = 0);
void FailCallAlways(const std::string& api, DWORD error);
void ClearFaults();

// The faults asked for since the reset (ClearFaults included) that have not failed a single
// call, one text each ("CreateThread, error 8 after 0 calls, 1 time"), except those that
// FaultMayNotFire excused.
std::vector<std::string> UnfiredFaults();
// The faults placed on `api` so far may end the test without having failed a call.
void FaultMayNotFire(const std::string& api);

// How often the program called `api` since the machine was reset (a name the host does not
// know is refused as by FailCall).
int CallCount(const std::string& api);

// How many threads wait in EnterCriticalSection right now for a section another thread holds.
int ThreadsWaitingToEnter();

// The calling thread's identifier as GetCurrentThreadId reports it. By default each thread
// receives its own identifier on first use; a test can choose one for the current thread.
void SetCurrentThreadId(DWORD id);

// The ANSI code page behind CP_ACP: 1252 (default) or 65001.
void SetAnsiCodePage(UINT codePage);

}  // namespace host
