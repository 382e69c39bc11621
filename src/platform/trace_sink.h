// Where platform code sends its trace lines. The platform layer sits below the trace log, so it
// does not write to it directly: the trace log installs itself here when the program starts, and
// until it has, the lines go nowhere.
#pragma once

#include <cstdarg>

namespace platform {

// Writes one printf-style line (wide format, wide strings as %ls).
using TraceSink = void (*)(const wchar_t* format, va_list args);

// Called once, before the program starts threads of its own.
void SetTraceSink(TraceSink sink);
// One line to the installed sink; nothing when none is installed.
void Trace(const wchar_t* format, ...);

}  // namespace platform
