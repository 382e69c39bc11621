#include "engine/firmware_image.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "diag/diag_log.h"
#include "host/files.h"
#include "host/machine.h"
#include "image_builder.h"
#include "support/image_files.h"
#include "support/trace.h"

using testing_support::Traced;

namespace {

const wchar_t kPath[] = L"C:\\fw\\image.bin";

std::string Image(const fwimage::ImageLayout& layout) { return testing_support::BuildImageBytes(layout); }

// Writes the image and reads its version; `fileType` starts at a value neither type has.
int32_t VersionOf(const std::string& bytes, int32_t* fileType = nullptr) {
  host::WriteFile(kPath, bytes);
  int32_t type = -5;
  int32_t version = GetBinFileVersion(kPath, &type);
  if (fileType) *fileType = type;
  return version;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

TEST(FirmwareImage, TypeIdentifierGivesFileType) {
  fwimage::ImageLayout layout;
  int32_t type = 0;
  EXPECT_EQ(VersionOf(Image(layout), &type), 215);
  EXPECT_EQ(type, 2);
  EXPECT_TRUE(Traced(L"GetBinFileVersion file=C:\\fw\\image.bin"));
  EXPECT_TRUE(Traced(L"GetBinFileVersion   filetypeID = 0x544155aa"));

  layout.typeId = 0x5441AA55;  // 55 AA 41 54: the bytes swapped
  EXPECT_EQ(VersionOf(Image(layout), &type), 215);
  EXPECT_EQ(type, 1);
  EXPECT_TRUE(Traced(L"GetBinFileVersion   filetypeID = 0x5441aa55"));

  // Fewer than 4 bytes: the identifier reads as 0 (type 1) and there is no trailer to read.
  EXPECT_EQ(VersionOf(Bytes({0xAA, 0x55, 0x41}), &type), 0);
  EXPECT_EQ(type, 1);
  EXPECT_TRUE(Traced(L"GetBinFileVersion   filetypeID = 0"));
}

TEST(FirmwareImage, TrailerExamples) {
  fwimage::ImageLayout layout;  // label FWIMG, zero, "215", zero, length 11
  std::string image = Image(layout);
  ASSERT_EQ(image.substr(image.size() - 11), std::string("FWIMG\0" "215\0\x0B", 11));
  EXPECT_EQ(VersionOf(image), 215);

  // A trailer whose first byte is the zero: the digits start at its second byte.
  layout.label = "";
  layout.version = "512";
  image = Image(layout);
  ASSERT_EQ(image.substr(image.size() - 6), std::string("\0" "512\0\x06", 6));
  EXPECT_EQ(VersionOf(image), 512);

  // More bytes after the digits, and no zero between the digits and those bytes.
  layout.label = "LBL";
  layout.version = "77";
  layout.extra = "x\1\2";
  EXPECT_EQ(VersionOf(Image(layout)), 77);
}

TEST(FirmwareImage, VersionTextIsReadAsADecimalNumber) {
  fwimage::ImageLayout layout;
  const std::pair<const char*, int32_t> cases[] = {
      {" \t-7", -7},           // leading white space and a sign
      {"+42abc", 42},          // digits up to the first other byte
      {"abc", 0},              // no digits
      {"", 0},                 // nothing after the zero (the next byte is another zero)
      {"99999999999", INT_MAX},  // beyond 32 bits: held at the limit
  };
  for (const auto& [text, expected] : cases) {
    layout.version = text;
    EXPECT_EQ(VersionOf(Image(layout)), expected) << "version text \"" << text << "\"";
  }
}

TEST(FirmwareImage, LengthByteWithNothingToReadGivesZero) {
  fwimage::ImageLayout layout;
  for (int lengthByte : {0xF0, 0x80, 0x00}) {
    layout.lengthByte = lengthByte;
    int32_t type = 0;
    EXPECT_EQ(VersionOf(Image(layout), &type), 0) << "length byte " << lengthByte;
    EXPECT_EQ(type, 2);  // the type is still read
  }
  // A trailer length that reaches before the start of the file.
  EXPECT_EQ(VersionOf(Bytes({0xAA, 0x55, 0x41, 0x54, 'L', 0, '9', 0, 100})), 0);
  // An empty file.
  EXPECT_EQ(VersionOf(std::string()), 0);
}

TEST(FirmwareImage, OnlyFortyTrailerBytesAreRead) {
  fwimage::ImageLayout layout;
  // The label's zero is the 31st byte: the digits lie within the 40 bytes.
  layout.label = std::string(30, 'L');
  layout.version = "77";
  EXPECT_EQ(VersionOf(Image(layout)), 77);

  // The zero is the 37th byte: only the first three digits lie within the 40 bytes.
  layout.label = std::string(36, 'L');
  layout.version = "12345";
  EXPECT_EQ(VersionOf(Image(layout)), 123);

  // No zero byte within the 40 bytes: nothing is read beyond them.
  layout.label = std::string(50, 'L');
  layout.version = "215";
  EXPECT_EQ(VersionOf(Image(layout)), 0);

  // A label without its zero byte at all.
  layout.label = "FWIMG";
  layout.labelZero = false;
  layout.extra = "";
  EXPECT_EQ(VersionOf(Image(layout)), 0);
}

TEST(FirmwareImage, UnopenableFileGivesZeroAndLeavesFileType) {
  host::WriteFile(kPath, Image(fwimage::ImageLayout()));
  int32_t type = 77;
  EXPECT_EQ(GetBinFileVersion(L"C:\\fw\\missing.bin", &type), 0);
  EXPECT_EQ(type, 77);
  EXPECT_TRUE(Traced(L"  Open bin file failed.  gle=2"));

  EXPECT_EQ(GetBinFileVersion(L"C:\\no folder\\missing.bin", &type), 0);
  EXPECT_TRUE(Traced(L"  Open bin file failed.  gle=3"));

  host::FailCall("CreateFileW", ERROR_SHARING_VIOLATION);
  EXPECT_EQ(GetBinFileVersion(kPath, &type), 0);
  EXPECT_EQ(type, 77);
  EXPECT_TRUE(Traced(L"  Open bin file failed.  gle=32"));

  // A null type pointer is allowed.
  EXPECT_EQ(GetBinFileVersion(kPath, nullptr), 215);
}

TEST(FirmwareImage, FailedReadsGiveZeroAndCloseTheFile) {
  host::WriteFile(kPath, Image(fwimage::ImageLayout()));
  int32_t type = 0;
  // The reads: identifier, length byte, trailer. An identifier that cannot be read counts as
  // 0 (file type 1); a failed length or trailer read leaves no version.
  host::FailCall("ReadFile", ERROR_READ_FAULT, 1, 0);
  EXPECT_EQ(GetBinFileVersion(kPath, &type), 215);
  EXPECT_EQ(type, 1);
  for (int skip = 1; skip < 3; ++skip) {
    host::ClearFaults();
    host::FailCall("ReadFile", ERROR_READ_FAULT, 1, skip);
    EXPECT_EQ(GetBinFileVersion(kPath, &type), 0) << "read " << skip << " fails";
    EXPECT_EQ(type, 2);
  }
  host::ClearFaults();
  host::FailCall("SetFilePointerEx", ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(GetBinFileVersion(kPath, &type), 0);
  // Every path above closed the file (the test main checks that nothing is left open).
  EXPECT_EQ(host::CallCount("CreateFileW"), host::CallCount("CloseHandle"));
}

}  // namespace
