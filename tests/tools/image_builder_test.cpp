#include "image_builder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine/firmware_image.h"
#include "host/files.h"

namespace {

std::string Build(const fwimage::ImageLayout& layout) {
  std::string image, error;
  EXPECT_TRUE(fwimage::BuildImage(layout, &image, &error)) << error;
  return image;
}

int Tool(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
  std::ostringstream o, e;
  int code = fwimage::RunTool(args, o, e);
  if (out) *out = o.str();
  if (err) *err = e.str();
  return code;
}

TEST(ImageBuilder, ChecksumMatchesTheBurnCommandsExamples) {
  EXPECT_EQ(fwimage::Checksum16("abc"), 0x9E3A);
  EXPECT_EQ(fwimage::Checksum16("ab"), 0x9E9D);
  EXPECT_EQ(fwimage::Checksum16(""), 0xFFFF);
  // 32769 words of 0xFFFF wrap the signed sum negative: the fold propagates the sign
  // (0x80007FFF -> -1 -> 0xFFFE), which an unsigned fold would not (it would give 0).
  EXPECT_EQ(fwimage::Checksum16(std::string(65538, '\xFF')), 0x0001);
}

TEST(ImageBuilder, LayoutIdentifierBodyTrailer) {
  fwimage::ImageLayout layout;
  layout.bodySize = 100;
  std::string image = Build(layout);
  ASSERT_EQ(image.size(), 4u + 100u + 11u);
  EXPECT_EQ(image.substr(0, 4), "\xAA\x55\x41\x54");
  EXPECT_EQ(image.substr(104), std::string("FWIMG\0" "215\0\x0B", 11));

  layout.typeId = fwimage::kTypeId1;
  EXPECT_EQ(Build(layout).substr(0, 4), "\x55\xAA\x41\x54");

  // The body is the same for the same seed, and another for another seed.
  EXPECT_EQ(Build(layout), Build(layout));
  fwimage::ImageLayout other = layout;
  other.seed = 2;
  EXPECT_NE(Build(other).substr(4, 100), Build(layout).substr(4, 100));
}

TEST(ImageBuilder, MalformedTrailersOnRequest) {
  fwimage::ImageLayout layout;
  layout.labelZero = false;
  layout.extra = "";
  layout.lengthByte = 0xF0;
  EXPECT_EQ(fwimage::Trailer(layout), "FWIMG215\xF0");

  // A trailer too long for its length byte is refused unless the byte is forced.
  layout = fwimage::ImageLayout();
  layout.label = std::string(130, 'L');
  std::string image, error;
  EXPECT_FALSE(fwimage::BuildImage(layout, &image, &error));
  EXPECT_NE(error.find("127"), std::string::npos) << error;
  layout.lengthByte = 20;
  EXPECT_TRUE(fwimage::BuildImage(layout, &image, &error));
  EXPECT_EQ(image.back(), '\x14');
}

TEST(ImageBuilder, ToolMakesTheFourShippedImagesThatTheProgramReads) {
  // The folder is made when it does not exist.
  std::string folder = host::HostPathOf(L"C:\\") + "/lab";
  std::string out;
  ASSERT_EQ(Tool({"--standard", folder}, &out), 0);

  struct Expected {
    const wchar_t* path;
    int32_t fileType;
  };
  const Expected images[] = {
      {L"C:\\lab\\TVQ5530An.bin", 2},
      {L"C:\\lab\\TVQ5530A.bin", 1},
      {L"C:\\lab\\TVQ5530.bin", 1},
      {L"C:\\lab\\TVQ5530n.bin", 2},
  };
  for (const Expected& image : images) {
    int32_t type = 0;
    EXPECT_EQ(GetBinFileVersion(image.path, &type), 216);
    EXPECT_EQ(type, image.fileType);
  }
  // One summary line per image, with its checksum.
  std::string bytes = host::ReadFile(L"C:\\lab\\TVQ5530n.bin");
  char checksum[16];
  std::snprintf(checksum, sizeof checksum, "0x%04X", fwimage::Checksum16(bytes));
  EXPECT_NE(out.find("TVQ5530n.bin: " + std::to_string(bytes.size()) + " bytes, file type 2, version \"216\", trailer 14 bytes, checksum " + checksum),
            std::string::npos)
      << out;

  ASSERT_EQ(Tool({"--standard", folder, "--version", "300"}), 0);
  int32_t type = 0;
  EXPECT_EQ(GetBinFileVersion(L"C:\\lab\\TVQ5530A.bin", &type), 300);
}

TEST(ImageBuilder, ToolWritesOneImageWithTheOptionsGiven) {
  std::string path = host::HostPathOf(L"C:\\one.bin");
  ASSERT_EQ(Tool({"--type", "1", "--body-size", "7", "--label", "", "--version", "512", "--seed", "9", path}), 0);
  std::string bytes = host::ReadFile(L"C:\\one.bin");
  EXPECT_EQ(bytes.size(), 4u + 7u + 6u);
  int32_t type = 0;
  EXPECT_EQ(GetBinFileVersion(L"C:\\one.bin", &type), 512);
  EXPECT_EQ(type, 1);

  ASSERT_EQ(Tool({"--type-id", "0x12345678", "--no-label-zero", "--extra", "", "--length-byte", "240", path}), 0);
  bytes = host::ReadFile(L"C:\\one.bin");
  EXPECT_EQ(bytes.substr(0, 4), "\x78\x56\x34\x12");
  EXPECT_EQ(bytes.substr(bytes.size() - 9), "FWIMG215\xF0");
  EXPECT_EQ(GetBinFileVersion(L"C:\\one.bin", &type), 0);

  ASSERT_EQ(Tool({"--extra", "00ff07", path}), 0);
  bytes = host::ReadFile(L"C:\\one.bin");
  EXPECT_EQ(bytes.substr(bytes.size() - 13), std::string("FWIMG\0" "215\0\xFF\x07\x0D", 13));
}

TEST(ImageBuilder, ToolRejectsBadArguments) {
  std::string err;
  const std::vector<std::vector<std::string>> bad = {
      {},                                    // no output
      {"--bogus", "x", "a.bin"},             // unknown option
      {"--type", "3", "a.bin"},              // not a file type
      {"--length-byte", "256", "a.bin"},     // not a byte
      {"--body-size", "-1", "a.bin"},        // not a count
      {"--extra", "0g", "a.bin"},            // not hex
      {"a.bin", "b.bin"},                    // two outputs
      {"--seed"},                            // missing value
  };
  for (const auto& args : bad) {
    EXPECT_EQ(Tool(args, nullptr, &err), 2) << (args.empty() ? "" : args[0]);
    EXPECT_NE(err.find("usage:"), std::string::npos);
  }
  Tool({"--bogus"}, nullptr, &err);
  EXPECT_EQ(err.rfind("fwimage: unknown option --bogus\n", 0), 0u) << err;
  EXPECT_EQ(Tool({host::HostPathOf(L"C:\\") + "no/such/folder/a.bin"}, nullptr, &err), 1);
  EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
}

}  // namespace
