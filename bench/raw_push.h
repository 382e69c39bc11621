// A plain socket push to a printer, without the simulated host: the yardstick of the network burn.
#pragma once

#include <cstdint>
#include <vector>

// Connects to `address`:`port`, sends `stream` whole, and receives a 16-byte reply into `reply`.
// False when any step fails.
bool RawPush(const char* address, uint16_t port, const std::vector<uint8_t>& stream, uint8_t reply[16]);
