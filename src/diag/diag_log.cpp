#include "diag/diag_log.h"

#include <cstdio>
#include <cwchar>

#include "platform/trace_sink.h"

namespace {

// Formats into `buffer` (capacity `chars`, terminator included). A text that does not fit is
// cut at the end of the buffer. Returns the number of characters written.
size_t FormatInto(wchar_t* buffer, size_t chars, const wchar_t* format, va_list args) {
  if (chars == 0) return 0;
  buffer[0] = L'\0';
  // Some C runtimes leave a truncated buffer unterminated; the terminator is put back here.
  std::vswprintf(buffer, chars, format, args);
  buffer[chars - 1] = L'\0';
  return std::wcslen(buffer);
}

// Copies at most `chars` - 1 characters and terminates.
void CopyBounded(wchar_t* target, size_t chars, const wchar_t* source) {
  size_t length = 0;
  while (length + 1 < chars && source[length] != L'\0') {
    target[length] = source[length];
    ++length;
  }
  target[length] = L'\0';
}

// Shown in "Msg:" when the system has no text for a code.
const wchar_t kNoSystemText[] = L"(no system text for this error code)";

// The platform layer's lines come here from the start of the program.
const bool g_platformTraceInstalled = [] {
  platform::SetTraceSink(&DiagLog::WriteV);
  return true;
}();

}  // namespace

DiagLog::DiagLog() : caption_(L" "), logFilePath_{}, prefix_{} {
  InitializeCriticalSection(&lineLock_);
  InitializeCriticalSection(&messageLock_);
  CopyBounded(prefix_, kPrefixChars, L"LOG");
}

DiagLog& DiagLog::Instance() {
  // Created on first use (during start-up, before any other thread) and never destroyed.
  static DiagLog* log = new DiagLog();
  return *log;
}

void DiagLog::SetPrefix(const wchar_t* text) {
  if (text) CopyBounded(Instance().prefix_, kPrefixChars, text);
}

void DiagLog::SetCaption(const wchar_t* text) { Instance().caption_ = text ? text : L""; }

void DiagLog::SetLogFilePath(const wchar_t* path) {
  DiagLog& log = Instance();
  if (!path) {
    log.logFilePath_[0] = L'\0';
    return;
  }
  if (std::wcslen(path) >= kPathChars) {
    Write(L"DiagLog: log file path too long, not used: %.200ls...", path);
    return;
  }
  CopyBounded(log.logFilePath_, kPathChars, path);
}

void DiagLog::Write(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(format, args);
  va_end(args);
}

void DiagLog::WriteV(const wchar_t* format, va_list args) {
  if (!format) return;
  DiagLog& log = Instance();

  wchar_t line[kLineChars] = {};
  size_t length = static_cast<size_t>(
      std::swprintf(line, kLineChars, L"%ls(%X): ", log.prefix_, static_cast<unsigned>(GetCurrentThreadId())));
  if (length >= kLineChars) length = std::wcslen(line);
  // Room is kept for the line feed and the terminator, so a long text is cut but the line
  // still ends with its line feed.
  length += FormatInto(line + length, kLineChars - length - 1, format, args);
  line[length++] = L'\n';
  line[length] = L'\0';

  if (log.logFilePath_[0] != L'\0') log.AppendToFile(line);

  // The debugger output shows one line per call: inner line feeds become blanks. The last two
  // characters stay, so a text that ends in "\n" gives a line that ends in two line feeds.
  for (size_t i = 0; i + 2 < length; ++i) {
    if (line[i] == L'\n') line[i] = L' ';
  }

  EnterCriticalSection(&log.lineLock_);
  OutputDebugStringW(line);
  LeaveCriticalSection(&log.lineLock_);
}

void DiagLog::AppendToFile(const wchar_t* line) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t stamp[64] = {};
  std::swprintf(stamp, 64, L"[%2d-%2d-%4d %2d:%02d:%02d:%03d]- ", now.wMonth, now.wDay, now.wYear, now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds);

  // The file holds UTF-8: at most 3 bytes for each UTF-16 unit (4 for a code point elsewhere).
  char bytes[(kLineChars + 64) * 4] = {};
  int stampBytes = WideCharToMultiByte(CP_UTF8, 0, stamp, -1, bytes, static_cast<int>(sizeof bytes), nullptr, nullptr);
  if (stampBytes <= 0) return;
  int lineBytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes + stampBytes - 1,
                                      static_cast<int>(sizeof bytes) - stampBytes + 1, nullptr, nullptr);
  if (lineBytes <= 0) return;

  EnterCriticalSection(&lineLock_);
  FILE* file = _wfopen(logFilePath_, L"a");
  if (file) {
    std::fputs(bytes, file);
    std::fclose(file);
  }
  LeaveCriticalSection(&lineLock_);
}

DWORD DiagLog::MapErrorCode(DWORD code) {
  if ((code & 0xE0000000u) == 0xE0000000u) return (code & 0xFFFFu) | 0x800F0000u;
  return code;
}

void DiagLog::WriteError(DWORD code, const wchar_t* context, ...) {
  if (!context) return;
  DWORD mapped = MapErrorCode(code);

  wchar_t contextText[kLineChars];
  va_list args;
  va_start(args, context);
  FormatInto(contextText, kLineChars, context, args);
  va_end(args);

  LPWSTR systemText = nullptr;
  DWORD found = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, mapped, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                               reinterpret_cast<LPWSTR>(&systemText), 0, nullptr);
  Write(L"===>>> ERROR (gle=%d, %#x):  Msg: %ls  Context: %ls", static_cast<int>(mapped), static_cast<unsigned>(code),
        (found && systemText) ? systemText : kNoSystemText, contextText);
  if (systemText) LocalFree(systemText);
}
