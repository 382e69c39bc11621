// Reading the program's trace lines in tests.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// Debug output lines without their "<prefix>(<thread>): " opening and final line feed.
std::vector<std::wstring> TraceTexts();
// Whether any trace text equals `text`.
bool Traced(const std::wstring& text);
// How many trace texts equal `text`.
int TraceCount(const std::wstring& text);

}  // namespace testing_support
