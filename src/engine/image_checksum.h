// The 16-bit checksum that the flash burn command announces for a firmware image.
#pragma once

#include <cstddef>
#include <cstdint>

// Big-endian 16-bit words summed in a wrapping signed 32-bit integer (an odd last byte added
// as the low-order byte), folded with the sign propagated until nothing is left above the low
// 16 bits, then inverted. "abc" gives 0x9E3A, "ab" 0x9E9D, no bytes 0xFFFF.
uint16_t ImageChecksum(const uint8_t* data, size_t length);
