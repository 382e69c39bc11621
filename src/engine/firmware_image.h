// Firmware image files. An image starts with a 4-byte type identifier and ends with a short
// version trailer: a zero-terminated label, the version as decimal digits, any further bytes,
// and the trailer's own length as its last byte. The bytes between are the opaque image body.
#pragma once

#include <cstddef>
#include <cstdint>

// Identifier of file type 2: the bytes AA 55 41 54, read as a little-endian number.
constexpr uint32_t kFileTypeId2 = 0x544155AA;
constexpr int32_t FILE_TYPE_1 = 1;
constexpr int32_t FILE_TYPE_2 = 2;
// At most this many trailer bytes are read; the label, its zero and the digits lie within them.
constexpr int kTrailerReadBytes = 40;

// Reads the version from the image at `path`. Returns the version, 0 when it cannot be read.
// `fileType` (1 or 2) is written only when the file opens; it may be null.
int32_t GetBinFileVersion(const wchar_t* path, int32_t* fileType);
// The same version read from the image's bytes in memory (`size` of them).
int32_t ImageVersionOf(const uint8_t* bytes, size_t size);
