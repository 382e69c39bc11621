#include "platform/wide_text.h"

#include <cwchar>

bool CopyWholeText(wchar_t* target, size_t chars, const wchar_t* source) {
  if (chars == 0) return false;
  target[0] = L'\0';
  if (!source) return true;
  size_t length = std::wcslen(source);
  if (length >= chars) return false;
  std::wmemcpy(target, source, length + 1);
  return true;
}

namespace {

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

}  // namespace

bool ContainsNoCase(const wchar_t* text, const wchar_t* part) {
  if (!text || !part || !*text || !*part) return false;
  for (const wchar_t* start = text; *start; ++start) {
    size_t i = 0;
    while (part[i] && start[i] && UpperAscii(start[i]) == UpperAscii(part[i])) ++i;
    if (!part[i]) return true;
  }
  return false;
}
