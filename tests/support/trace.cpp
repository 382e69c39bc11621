#include "support/trace.h"

#include <algorithm>

#include "host/debug_output.h"

namespace testing_support {

std::vector<std::wstring> TraceTexts() {
  std::vector<std::wstring> texts;
  for (std::wstring line : host::DebugOutput()) {
    size_t open = line.find(L"): ");
    if (open != std::wstring::npos) line.erase(0, open + 3);
    if (!line.empty() && line.back() == L'\n') line.pop_back();
    texts.push_back(line);
  }
  return texts;
}

bool Traced(const std::wstring& text) { return TraceCount(text) > 0; }

int TraceCount(const std::wstring& text) {
  auto texts = TraceTexts();
  return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

}  // namespace testing_support
