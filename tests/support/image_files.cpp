#include "support/image_files.h"

#include <gtest/gtest.h>

#include "host/files.h"

namespace testing_support {

std::string BuildImageBytes(const fwimage::ImageLayout& layout) {
  std::string image, error;
  EXPECT_TRUE(fwimage::BuildImage(layout, &image, &error)) << error;
  return image;
}

std::string WriteImageFile(const std::wstring& windowsPath, const fwimage::ImageLayout& layout) {
  std::string image = BuildImageBytes(layout);
  host::WriteFile(windowsPath, image);
  return image;
}

}  // namespace testing_support
