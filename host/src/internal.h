// Shared between the host's own implementation files.
#pragma once

#include <string>

#include "winhost/base.h"

namespace host {

UINT AnsiCodePage();
DWORD CurrentThreadId();

// Text conversions used inside the host (not the program's MultiByteToWideChar).
std::string Utf8Of(const std::wstring& text);
std::wstring WideOfUtf8(const std::string& text);

// Case-insensitive comparison of Windows names (ASCII and Latin-1 letters).
bool NamesEqual(const std::wstring& a, const std::wstring& b);
std::wstring UpperName(const std::wstring& text);

}  // namespace host
