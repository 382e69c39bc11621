#include "fuzz_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "diag/diag_log.h"
#include "host/clock.h"
#include "host/machine.h"
#include "host/sockets.h"

namespace fuzzing {

uint8_t InputReader::U8() { return at_ < size_ ? data_[at_++] : 0; }

uint16_t InputReader::U16() {
  uint16_t high = U8();
  return static_cast<uint16_t>(high << 8 | U8());
}

std::string InputReader::Bytes(size_t count) {
  if (count > size_ - at_) count = size_ - at_;
  std::string bytes(reinterpret_cast<const char*>(data_ + at_), count);
  at_ += count;
  return bytes;
}

std::wstring InputReader::WideText(size_t bytes) {
  std::wstring text;
  size_t end = at_ + bytes < size_ ? at_ + bytes : size_;
  while (at_ < end) {
    uint8_t byte = U8();
    if (byte < 0xF0) {
      text.push_back(static_cast<wchar_t>(byte));
      continue;
    }
    uint16_t unit = U16();
    text.push_back(static_cast<wchar_t>(unit ? unit : 0xFFFD));
  }
  return text;
}

void FreshMachine() {
  host::ResetMachine();
  host::clock::SetCompression(0);
  host::sockets::SetMinimumRealWait(std::chrono::milliseconds(5));
  DiagLog::SetLogFilePath(nullptr);
}

void CheckNothingLeftOpen(const char* after) {
  std::vector<std::string> open = host::OpenResources();
  int starts = host::sockets::StartCount();
  if (open.empty() && starts == 0) return;
  std::fprintf(stderr, "left open after %s (%d socket library start-ups not cleaned up):\n", after, starts);
  for (const std::string& item : open) std::fprintf(stderr, "  %s\n", item.c_str());
  std::abort();
}

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

}  // namespace fuzzing
