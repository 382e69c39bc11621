// Error lines of the trace log in discovery tests.
#pragma once

#include <string>

#include "platform/win32.h"
#include "support/trace.h"

namespace discovery_test {

// Whether an error line for `code` whose text ends with "Context: <context>" was written.
inline bool ErrorTraced(const std::wstring& context, DWORD code) {
  std::wstring opening = L"===>>> ERROR (gle=" + std::to_wstring(static_cast<int>(code)) + L",";
  std::wstring ending = L"Context: " + context;
  for (const std::wstring& text : testing_support::TraceTexts()) {
    if (text.rfind(opening, 0) == 0 && text.size() >= ending.size() &&
        text.compare(text.size() - ending.size(), ending.size(), ending) == 0) {
      return true;
    }
  }
  return false;
}

// A call made to fail (after `skip` successful calls) and the context of the line it gives.
struct FailureCase {
  const char* api;
  DWORD error;
  int skip;
  std::wstring context;
};

}  // namespace discovery_test
