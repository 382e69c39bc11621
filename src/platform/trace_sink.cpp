#include "platform/trace_sink.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<TraceSink> g_sink{nullptr};

}  // namespace

void SetTraceSink(TraceSink sink) { g_sink.store(sink); }

void Trace(const wchar_t* format, ...) {
  TraceSink sink = g_sink.load();
  if (!sink) return;
  va_list args;
  va_start(args, format);
  sink(format, args);
  va_end(args);
}

}  // namespace platform
