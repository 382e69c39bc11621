// Copies of texts into the fixed-size buffers that discovery hands back.
#pragma once

#include <cstddef>

// Copies `source` and its terminator into `target` (capacity `chars`, terminator included). A
// text that does not fit is refused rather than cut: `target` is left empty and the result is
// false. A null source gives an empty target and true.
bool CopyWholeText(wchar_t* target, size_t chars, const wchar_t* source);
