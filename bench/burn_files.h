// The files of a burn benchmark: a firmware image of a chosen size, and the file an administrator
// would send to the printer's port instead of a burn (the envelope, the burn command and the
// image, as the network burn sends them); and the image loaded as the burn loads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct BurnBenchFiles {
  std::string image;  // file type 2, version 215
  std::string push;
};

// Both files for an image of exactly `bytes` bytes; false with `error` when it cannot be built.
bool MakeBurnBenchFiles(size_t bytes, BurnBenchFiles* files, std::string* error);

// The image file at `path` loaded as the burns load it (CreateFileW, GetFileSize, LocalAlloc, one
// ReadFile), into `reused` instead of fresh memory when it is given; with `checksum`, the burn's
// checksum over it too. False when a step fails.
bool LoadAsTheBurnDoes(const wchar_t* path, uint8_t* reused, uint16_t* checksum);
