// What the program sent to the debugger output (OutputDebugStringW), kept for tests.
#pragma once

#include <string>
#include <vector>

namespace host {

std::vector<std::wstring> DebugOutput();
void ClearDebugOutput();
// HOST_ECHO_DEBUG_OUTPUT=1 in the environment also copies every line to standard error.

}  // namespace host
