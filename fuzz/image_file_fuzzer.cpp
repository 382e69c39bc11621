// The firmware image reader on any bytes written as the image file: the file type is always 1
// or 2 (2 exactly for the identifier AA 55 41 54), a version is read only from a trailer that
// lies inside the file, and the file is closed again.
#include <cstring>

#include "engine/firmware_image.h"
#include "fuzz_support.h"
#include "host/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::FreshMachine();
  const wchar_t* path = L"C:\\Firmware\\TVQ5530n.bin";
  host::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));

  int32_t fileType = -1;
  int32_t version = GetBinFileVersion(path, &fileType);
  fuzzing::CheckNothingLeftOpen("GetBinFileVersion");
  fuzzing::Check(fileType == FILE_TYPE_1 || fileType == FILE_TYPE_2, "file type is 1 or 2");
  const uint8_t typeTwo[] = {0xAA, 0x55, 0x41, 0x54};
  bool isTypeTwo = size >= 4 && std::memcmp(data, typeTwo, 4) == 0;
  fuzzing::Check((fileType == FILE_TYPE_2) == isTypeTwo, "file type 2 exactly for its identifier");
  if (version != 0) {
    // The last byte is the trailer's length: 1 to 127 and within the file.
    uint8_t last = size > 0 ? data[size - 1] : 0;
    fuzzing::Check(last >= 1 && last <= 127 && last <= size, "a version only from a trailer inside the file");
  }
  // Without a place for the file type the same version is read.
  fuzzing::Check(GetBinFileVersion(path, nullptr) == version, "the file type pointer does not change the version");
  fuzzing::CheckNothingLeftOpen("GetBinFileVersion without a file type");
  return 0;
}
