// Firmware images for tests: built with the image builder and written to the simulated drive.
#pragma once

#include <string>

#include "image_builder.h"

namespace testing_support {

// Builds the image of `layout` (a builder error fails the current test) and returns its bytes.
std::string BuildImageBytes(const fwimage::ImageLayout& layout);
// The same, also written to `windowsPath` on the simulated machine.
std::string WriteImageFile(const std::wstring& windowsPath, const fwimage::ImageLayout& layout);

}  // namespace testing_support
