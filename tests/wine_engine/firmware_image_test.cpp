// Firmware image files read through Wine's file system: images that fwimage wrote on the Linux
// side, reached through the Z: drive.
#include <gtest/gtest.h>

#include <string>

#include "engine/firmware_image.h"
#include "wine_engine/run_settings.h"

namespace {

using wine_engine::ImagePath;
using wine_engine::Settings;

TEST(FirmwareImages, StandardImagesGiveVersionAndFileType) {
  const struct {
    const wchar_t* name;
    int32_t fileType;
  } images[] = {{L"TVQ5530An.bin", FILE_TYPE_2}, {L"TVQ5530n.bin", FILE_TYPE_2}, {L"TVQ5530A.bin", FILE_TYPE_1},
                {L"TVQ5530.bin", FILE_TYPE_1}};
  for (const auto& image : images) {
    SCOPED_TRACE(std::string(image.name, image.name + std::char_traits<wchar_t>::length(image.name)));
    int32_t fileType = 77;
    EXPECT_EQ(GetBinFileVersion(ImagePath(image.name).c_str(), &fileType), Settings().imageVersion);
    EXPECT_EQ(fileType, image.fileType);
  }
  int32_t fileType = 77;
  EXPECT_EQ(GetBinFileVersion(ImagePath(L"older.bin").c_str(), &fileType), Settings().olderImageVersion);
  EXPECT_EQ(fileType, FILE_TYPE_2);
}

TEST(FirmwareImages, MissingImageHasNoVersionAndLeavesTheFileType) {
  int32_t fileType = 77;
  EXPECT_EQ(GetBinFileVersion(ImagePath(L"missing.bin").c_str(), &fileType), 0);
  EXPECT_EQ(fileType, 77);
  // A folder opens on neither Windows nor Wine without backup semantics.
  EXPECT_EQ(GetBinFileVersion(Settings().imageFolder.c_str(), &fileType), 0);
  EXPECT_EQ(fileType, 77);
}

}  // namespace
