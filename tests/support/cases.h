// Every test, and every case of a table test, runs on a fresh simulated machine with the
// program's process-wide state as it was at start, and fails when it leaves anything open on the
// machine or ends with a fault it asked for that never failed a call.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// Checks the case running as the end of a test is checked (naming it when it has a label) and
// starts the case `label` on a fresh machine and program state. A table test calls it at the
// start of each case instead of resetting the machine itself.
void NextCase(const std::string& label);

// The case running leaves open on purpose what the machine lists with `what` in its text (such
// as a transfer whose buffers the program keeps): the check passes over it.
void LeavesOpen(const std::string& what);

// What the machine holds open besides what the program keeps for the life of its process (the
// spooler library, given back here as the end of the process would give it back), for a test
// that checks part-way that a failure path released everything.
std::vector<std::string> OpenBesidesTheProcess();

// The test main's part: before each test, and after it.
void StartTest();
void EndTest();

}  // namespace testing_support
