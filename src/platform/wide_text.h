// Helpers for the fixed-size wide-text buffers that Win32 calls fill and the program hands on.
#pragma once

#include <cstddef>

// Copies `source` and its terminator into `target` (capacity `chars`, terminator included). A
// text that does not fit is refused rather than cut: `target` is left empty and the result is
// false. A null source gives an empty target and true.
bool CopyWholeText(wchar_t* target, size_t chars, const wchar_t* source);

// True when both texts are non-empty and `part` occurs in `text`, letters a to z matching A to Z.
bool ContainsNoCase(const wchar_t* text, const wchar_t* part);

// Converts `text` to the system ANSI code page into `out` (capacity `outBytes`, terminator
// included) only when it converts exactly: no character replaced by a "best fit" look-alike or
// by the default character, nothing cut. Otherwise `out` is left empty (all zero) and the result
// is false; a null text is refused the same way. Callers that use the bytes as a name or an
// address log the refusal: a changed text could name another printer or host.
bool WideToAnsiExact(const wchar_t* text, char* out, size_t outBytes);
