// The firmware image builder: writes image files in the layout the program reads (a 4-byte
// type identifier, an opaque body, a version trailer whose last byte is its own length), for
// tests, for the simulated printer and for the demo lab. Plain C++; no operating-system calls
// beyond the standard library.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace fwimage {

// The type identifier of file type 2, AA 55 41 54 (0x544155AA little-endian); any other
// value makes file type 1. kTypeId1 is the one the builder writes for type 1.
constexpr uint32_t kTypeId2 = 0x544155AA;
constexpr uint32_t kTypeId1 = 0x5441AA55;  // 55 AA 41 54

// Everything that shapes one image. The defaults make a well-formed type 2 image at
// version 215.
struct ImageLayout {
  uint32_t typeId = kTypeId2;       // written little-endian at offset 0
  uint32_t bodySize = 4096;         // opaque body bytes after the identifier
  uint32_t seed = 1;                // the body is a reproducible byte sequence of this seed
  std::string label = "FWIMG";      // trailer label text
  bool labelZero = true;            // false: leave out the zero byte that ends the label
  std::string version = "215";      // version text, written as is (digits, or anything for tests)
  std::string extra = std::string(1, '\0');  // bytes between the version and the length byte
  int lengthByte = -1;              // -1: the trailer's true length; 0..255: this byte instead
};

// The trailer of `layout`: label, zero, version, extra bytes, length byte.
std::string Trailer(const ImageLayout& layout);
// The whole image. Fails (returns false, with `error`) when the true trailer length does not
// fit a signed byte (127) and no length byte is forced, or a forced length is out of 0..255.
bool BuildImage(const ImageLayout& layout, std::string* image, std::string* error);

// The 16-bit checksum the flash burn announces for an image: big-endian 16-bit words summed
// in a wrapping signed 32-bit integer (an odd last byte added as is), folded with sign
// propagation, then inverted.
uint16_t Checksum16(const std::string& bytes);

// The four images that ship beside the program.
struct StandardImage {
  std::string fileName;
  ImageLayout layout;
};
// "TVQ5530An.bin", "TVQ5530A.bin", "TVQ5530.bin", "TVQ5530n.bin" at `version`.
std::vector<StandardImage> StandardImages(const std::string& version = "216");

// Writes bytes to a file; false with `error` on failure.
bool WriteImageFile(const std::string& path, const std::string& bytes, std::string* error);

// The command-line tool: arguments without the program name. Returns the exit code (0 done,
// 1 failure, 2 usage error); the summary goes to `out`, errors to `err`.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace fwimage
