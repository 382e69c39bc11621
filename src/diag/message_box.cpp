// DiagLog::ShowMessage: the program's message boxes.
#include "diag/diag_log.h"

#include <cstdio>

namespace {

// The user-interface language: the user's, when it is also the user's and the system's default
// language; otherwise the system's (a user who switched only the display language).
LANGID InterfaceLanguage() {
  LANGID userUi = GetUserDefaultUILanguage();
  LANGID systemUi = GetSystemDefaultUILanguage();
  LANGID userDefault = GetUserDefaultLangID();
  LANGID systemDefault = GetSystemDefaultLangID();
  return (userUi == userDefault && userUi == systemDefault) ? userUi : systemUi;
}

// Primary language identifiers (the low nine bits of a LANGID).
constexpr WORD kPrimaryLanguageMask = 0x1FF;
constexpr WORD kArabic = 0x01;
constexpr WORD kHebrew = 0x0D;

bool IsRightToLeft(LANGID language) {
  WORD primary = language & kPrimaryLanguageMask;
  return primary == kArabic || primary == kHebrew;
}

}  // namespace

int DiagLog::ShowMessage(UINT flags, const wchar_t* format, ...) {
  if (!format) return 0;
  DiagLog& log = Instance();

  // The formatted text is shown as it is, never used as a format again.
  wchar_t text[kMessageChars] = {};
  va_list args;
  va_start(args, format);
  std::vswprintf(text, kMessageChars, format, args);
  va_end(args);
  text[kMessageChars - 1] = L'\0';

  EnterCriticalSection(&log.messageLock_);
  if (IsRightToLeft(InterfaceLanguage())) flags |= MB_RIGHT | MB_RTLREADING;
  flags |= MB_TOPMOST;
  int button = MessageBoxW(nullptr, text, log.caption_.c_str(), flags);
  LeaveCriticalSection(&log.messageLock_);
  return button;
}
