// What an administrator would do instead of a burn: send a prepared file (envelope, command and
// image) to the printer's port with a netcat-like tool. Plain POSIX, without the simulated host:
// the yardstick of the network burn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The chunk the push reads from the file and sends, as such tools do (no whole-file buffer).
constexpr size_t kRawPushChunkBytes = 64 * 1024;

// Connects to `address`:`port`, streams the file at `path` in chunks of kRawPushChunkBytes, and
// receives a 16-byte reply into `reply`. False when any step fails.
bool RawPushFile(const char* address, uint16_t port, const std::string& path, uint8_t reply[16]);
