#include "platform/wide_text.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "platform/win32.h"

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

bool WideToAnsiExact(const wchar_t* text, char* out, size_t outBytes) {
  if (!out || outBytes == 0) return false;
  std::memset(out, 0, outBytes);
  if (!text) return false;
  int capacity = outBytes > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(outBytes);
  // The UTF-8 code page converts every character but takes neither WC_NO_BEST_FIT_CHARS nor a
  // default-character report; there only an unpaired surrogate can fail to convert.
  bool utf8 = GetACP() == CP_UTF8;
  BOOL usedDefault = FALSE;
  int bytes = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, text, -1, out, capacity,
                                  nullptr, utf8 ? nullptr : &usedDefault);
  if (bytes > 0 && !usedDefault) return true;
  std::memset(out, 0, outBytes);
  return false;
}
