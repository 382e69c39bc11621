#include "discovery/text_copy.h"

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
