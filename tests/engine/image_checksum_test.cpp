#include "engine/image_checksum.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "image_builder.h"

namespace {

uint16_t ChecksumOf(const std::string& bytes) {
  return ImageChecksum(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(ImageChecksum, ShortTexts) {
  EXPECT_EQ(ChecksumOf("abc"), 0x9E3A);  // the odd last byte counts as a low-order byte
  EXPECT_EQ(ChecksumOf("ab"), 0x9E9D);
  EXPECT_EQ(ChecksumOf(""), 0xFFFF);
  EXPECT_EQ(ImageChecksum(nullptr, 0), 0xFFFF);
}

TEST(ImageChecksum, NegativeSumFoldsWithItsSign) {
  // 65536 words of 0xFFFF sum to 0xFFFF0000, negative as a signed 32-bit number: folded with
  // the sign propagated it leaves 0xFFFE (checksum 0x0001); read unsigned it would give 0x0000.
  EXPECT_EQ(ChecksumOf(std::string(2 * 65536, '\xFF')), 0x0001);
}

TEST(ImageChecksum, AgreesWithTheBytewiseSumAtEveryAlignmentAndLength) {
  // Lengths around the 8-byte steps and the blocks of 256 steps, from every start alignment.
  std::mt19937 random(7);
  std::string data(3 * 2048 + 64, '\0');
  for (char& c : data) c = static_cast<char>(random());
  for (size_t start : {0, 1, 3, 7}) {
    for (size_t length : {1, 2, 7, 8, 9, 15, 16, 17, 2047, 2048, 2049, 2050, 4096, 6143, 6144, 6145}) {
      std::string slice = data.substr(start, length);
      EXPECT_EQ(ChecksumOf(slice), fwimage::Checksum16(slice)) << "start " << start << ", length " << length;
    }
  }
  // A sum that wraps many times over.
  std::string large(5u << 20, '\0');
  for (char& c : large) c = static_cast<char>(random() | 0x80);
  EXPECT_EQ(ChecksumOf(large), fwimage::Checksum16(large));
}

}  // namespace
