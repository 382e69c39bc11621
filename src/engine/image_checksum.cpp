#include "engine/image_checksum.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t kAlternateBytes = 0x00FF00FF00FF00FFull;
// Each step adds at most 255 to a 16-bit lane, so 257 steps can never carry out of one.
constexpr size_t kStepsPerBlock = 256;

bool LittleEndian() {
  const uint16_t probe = 1;
  uint8_t first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

uint64_t LaneSum(uint64_t lanes) {
  return (lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) + (lanes >> 48);
}

// The fold of a sum that wrapped as a signed 32-bit number: the high half is taken with its
// sign, so a negative sum folds differently from the same bits read unsigned.
uint32_t HighHalf(uint32_t sum) { return (sum >> 16) | ((sum & 0x80000000u) ? 0xFFFF0000u : 0u); }

}  // namespace

uint16_t ImageChecksum(const uint8_t* data, size_t length) {
  // The word sum modulo 2^32 is 256 times the sum of the bytes at even offsets plus the sum of
  // the bytes at odd offsets; both are gathered eight bytes at a time in 16-bit lanes.
  const unsigned evenShift = LittleEndian() ? 0 : 8;
  uint64_t evenTotal = 0;
  uint64_t oddTotal = 0;
  size_t offset = 0;
  while (length - offset >= 8) {
    size_t steps = std::min((length - offset) / 8, kStepsPerBlock);
    uint64_t evens = 0;
    uint64_t odds = 0;
    for (size_t step = 0; step < steps; ++step, offset += 8) {
      uint64_t word;
      std::memcpy(&word, data + offset, 8);
      evens += (word >> evenShift) & kAlternateBytes;
      odds += (word >> (8 - evenShift)) & kAlternateBytes;
    }
    evenTotal += LaneSum(evens);
    oddTotal += LaneSum(odds);
  }
  for (; offset + 1 < length; offset += 2) {
    evenTotal += data[offset];
    oddTotal += data[offset + 1];
  }
  uint32_t sum = static_cast<uint32_t>(evenTotal * 256 + oddTotal);
  if (offset < length) sum += data[offset];

  while (HighHalf(sum) != 0) sum = (sum & 0xFFFF) + HighHalf(sum);
  return static_cast<uint16_t>(~sum & 0xFFFF);
}
