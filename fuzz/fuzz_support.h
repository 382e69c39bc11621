// What every fuzz target shares: a fresh simulated machine per input, a reader that takes the
// input apart field by field, and checks that stop the run with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

// Reads the fuzz input from the front. Past the end every read gives zeros and empty bytes,
// so any input is a complete description.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return at_ >= size_; }
  uint8_t U8();
  uint16_t U16();  // big-endian
  // Up to `count` bytes (fewer at the end of the input).
  std::string Bytes(size_t count);
  // A length byte, then that many bytes.
  std::string ShortBytes() { return Bytes(U8()); }
  std::string Rest() { return Bytes(size_ - at_); }
  // A wide text: each byte is a character, except that a byte of 0xF0 or more takes the next
  // two bytes as the character (never zero), so texts reach beyond Latin-1 too.
  std::wstring WideText(size_t bytes);
  std::wstring ShortWideText() { return WideText(U8()); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Puts the simulated machine into its initial state for one input: virtual time without real
// waiting, short real waits for socket time-outs, no log file.
void FreshMachine();
// Stops the run (abort) when the program left anything open on the machine or a socket
// library start-up without its clean-up.
void CheckNothingLeftOpen(const char* after);
// Stops the run with `what` when `condition` does not hold.
void Check(bool condition, const char* what);

}  // namespace fuzzing
