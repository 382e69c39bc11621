// The trace log with arbitrary texts as arguments, prefix, caption and log file path: every
// call gives exactly one debugger line, within the line's length, starting with the prefix and
// ending in a line feed; the caption is kept whole and the log file ends with a whole line.
#include <cwchar>
#include <string>

#include "diag/diag_log.h"
#include "fuzz_support.h"
#include "host/debug_output.h"
#include "host/files.h"

namespace {

using fuzzing::Check;

void CheckLastLine(size_t linesBefore, const std::wstring& prefix) {
  std::vector<std::wstring> lines = host::DebugOutput();
  Check(lines.size() == linesBefore + 1, "one debugger line per call");
  const std::wstring& line = lines.back();
  Check(line.size() < DiagLog::kLineChars, "a line stays within its length");
  Check(line.size() >= 2 && line.back() == L'\n', "a line ends in a line feed");
  Check(line.find(L'\n') >= line.size() - 2, "no line feed before the last two characters");
  Check(line.compare(0, prefix.size() + 1, prefix + L"(") == 0, "a line starts with the prefix");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::FreshMachine();
  fuzzing::InputReader in(data, size);
  uint8_t setup = in.U8();
  std::wstring prefix = in.ShortWideText();
  std::wstring caption = in.ShortWideText();
  // The log file's name is one component under C:\Logs, so a run writes nowhere else; the
  // input chooses its length (up to past MAX_PATH).
  std::wstring name = in.WideText(in.U16() % 320);
  for (wchar_t& c : name) {
    if (c == L'\\' || c == L'/' || c == L':') c = L'_';
  }
  std::wstring path = L"C:\\Logs\\" + std::wstring(name.c_str());

  DiagLog::SetPrefix((setup & 1) ? nullptr : prefix.c_str());
  DiagLog::SetCaption((setup & 2) ? nullptr : caption.c_str());
  Check(DiagLog::Instance().Caption() == ((setup & 2) ? L"" : caption.c_str()), "the caption is kept whole");
  if (setup & 4) {
    host::WriteFile(L"C:\\Logs\\keep", "");
    DiagLog::SetLogFilePath(path.c_str());
  }
  std::wstring shownPrefix = DiagLog::Instance().Prefix();
  Check(shownPrefix.size() < DiagLog::kPrefixChars, "the prefix stays within its length");

  // Inner line feeds show as blanks, the prefix's too.
  for (wchar_t& c : shownPrefix) {
    if (c == L'\n') c = L' ';
  }
  while (!in.Empty()) {
    size_t before = host::DebugOutput().size();
    std::wstring text = in.WideText(in.U16());
    switch (in.U8() % 3) {
      case 0: DiagLog::Write(L"%ls", text.c_str()); break;
      case 1: DiagLog::Write(L"GetBinFileVersion file=%ls, %d", text.c_str(), static_cast<int>(text.size())); break;
      default: DiagLog::WriteError(static_cast<DWORD>(text.size() * 0x01000193u), L"context %ls", text.c_str()); break;
    }
    CheckLastLine(before, shownPrefix);
  }
  if (setup & 4) {
    std::string file = host::ReadFile(path);
    Check(file.empty() || file.back() == '\n', "the log file ends with a whole line");
  }
  DiagLog::SetPrefix(L"LOG");
  DiagLog::SetCaption(L" ");
  DiagLog::SetLogFilePath(nullptr);
  fuzzing::CheckNothingLeftOpen("the trace log");
  return 0;
}
