// Helpers for the fixed-size wide-text buffers that Win32 calls fill and the program hands on.
#pragma once

#include <cstddef>

// Copies `source` and its terminator into `target` (capacity `chars`, terminator included). A
// text that does not fit is refused rather than cut: `target` is left empty and the result is
// false. A null source gives an empty target and true.
bool CopyWholeText(wchar_t* target, size_t chars, const wchar_t* source);

// True when both texts are non-empty and `part` occurs in `text`, letters a to z matching A to Z.
bool ContainsNoCase(const wchar_t* text, const wchar_t* part);
