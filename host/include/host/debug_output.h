// What the program sent to the debugger output (OutputDebugStringW), kept for tests.
#pragma once

#include <string>
#include <vector>

namespace host {

std::vector<std::wstring> DebugOutput();
void ClearDebugOutput();
// Also copy every line to standard error (set HOST_ECHO_DEBUG_OUTPUT=1 to start with it on).
void EchoDebugOutput(bool on);

}  // namespace host
