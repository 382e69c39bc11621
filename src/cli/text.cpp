#include "cli/text.h"

#include <cwchar>

#include "platform/win32.h"

std::string Utf8(const wchar_t* text) {
  if (!text || !*text) return {};
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string result(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], bytes, nullptr, nullptr);
  result.resize(static_cast<size_t>(bytes) - 1);
  return result;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int chars = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (chars <= 0) return {};
  std::wstring result(static_cast<size_t>(chars), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &result[0], chars);
  result.resize(static_cast<size_t>(chars) - 1);
  return result;
}

std::string OneLine(const wchar_t* message) {
  std::string text = Utf8(message);
  std::string result;
  for (char c : text) {
    if (c != '\n') result += c;
  }
  return result;
}
