#include "platform/trace_sink.h"

namespace platform {
namespace {

// Set once, while the program's statics are initialised and before any thread of its own starts.
TraceSink g_sink = nullptr;

}  // namespace

void SetTraceSink(TraceSink sink) { g_sink = sink; }

void Trace(const wchar_t* format, ...) {
  TraceSink sink = g_sink;
  if (!sink) return;
  va_list args;
  va_start(args, format);
  sink(format, args);
  va_end(args);
}

}  // namespace platform
