// Text between the program's wide strings and the console's UTF-8.
#pragma once

#include <cstddef>
#include <string>

std::string Utf8(const wchar_t* text);
std::wstring Wide(const std::string& text);
// A message for one line: the line feed inside the dialog's two-line sentences is dropped (the
// blank after it stays).
std::string OneLine(const wchar_t* message);
// The columns a UTF-8 text takes in a console: two for an East Asian wide or fullwidth
// character, none for a combining mark, one for any other.
size_t DisplayWidth(const std::string& text);
