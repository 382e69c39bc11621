// The files of a burn benchmark: a firmware image of a chosen size, and the file an administrator
// would send to the printer's port instead of a burn (the envelope, the burn command and the
// image, as the network burn sends them).
#pragma once

#include <cstddef>
#include <string>

struct BurnBenchFiles {
  std::string image;  // file type 2, version 215
  std::string push;
};

// Both files for an image of exactly `bytes` bytes; false with `error` when it cannot be built.
bool MakeBurnBenchFiles(size_t bytes, BurnBenchFiles* files, std::string* error);
