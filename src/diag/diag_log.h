// The process-wide trace log. Every part of the program reports what it does as one-line,
// printf-style messages on the debugger output, so that a support engineer can follow a
// firmware download with a debug-output viewer. Line format: "<prefix>(<thread id in hex>): text".
#pragma once

#include <cstdarg>
#include <string>

#include "platform/win32.h"

class DiagLog {
 public:
  static constexpr size_t kLineChars = 4096;   // whole line, terminator included
  static constexpr size_t kPrefixChars = 80;   // prefix, terminator included
  static constexpr size_t kPathChars = MAX_PATH;

  // The single log, created on first use and never destroyed.
  static DiagLog& Instance();

  // Copies up to 79 characters of `text` into the line prefix.
  static void SetPrefix(const wchar_t* text);
  // Caption of every message box.
  static void SetCaption(const wchar_t* text);
  // File to which every line is also appended, with a timestamp; empty (the default) for none.
  // A path that does not fit is refused and leaves the setting as it was.
  static void SetLogFilePath(const wchar_t* path);

  // Writes one line; `format` is a wide printf format (wide strings as %ls). Null writes nothing.
  static void Write(const wchar_t* format, ...);
  static void WriteV(const wchar_t* format, va_list args);
  // Writes an error line for a system error code (as GetLastError returns it) with the system's
  // English text for it and a printf-style context. A null context writes nothing.
  static void WriteError(DWORD code, const wchar_t* context, ...);

  // The code whose system text an error line shows: device-installation errors (three top bits
  // set) are looked up in their HRESULT form.
  static DWORD MapErrorCode(DWORD code);

  // Shows a printf-style text (wide format) in a top-most system message box with the caption,
  // no owner and the MB_* `flags`, laid out right to left when the user-interface language is
  // Arabic or Hebrew. Boxes of different threads are shown one at a time. Returns the button
  // that closed the box, or 0 for a null format.
  static int ShowMessage(UINT flags, const wchar_t* format, ...);
  static constexpr size_t kMessageChars = 1024;  // shown text, terminator included

  const wchar_t* Prefix() const { return prefix_; }
  const std::wstring& Caption() const { return caption_; }
  const wchar_t* LogFilePath() const { return logFilePath_; }

  DiagLog(const DiagLog&) = delete;
  DiagLog& operator=(const DiagLog&) = delete;

 private:
  DiagLog();
  void AppendToFile(const wchar_t* line);

  std::wstring caption_;
  CRITICAL_SECTION lineLock_;
  CRITICAL_SECTION messageLock_;
  wchar_t logFilePath_[kPathChars];
  wchar_t prefix_[kPrefixChars];
};
