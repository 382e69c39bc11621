// A network download end to end through the facade, in the order the download workflow calls it.
// The burn's fixed waits (5 s for the reply, 10 s after the burn, 5 s after the download) are real
// time under Wine, so this is the run's one burn.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/engine_context.h"
#include "engine/engine_facade.h"
#include "engine/network_channel.h"
#include "platform/win32.h"
#include "wine_engine/engine_checks.h"
#include "wine_engine/run_settings.h"

namespace {

using wine_engine::ExpectSocketLibraryReleased;
using wine_engine::ImagePath;
using wine_engine::kDeviceMatch;
using wine_engine::Settings;

TEST(NetworkDownload, NewerImageIsBurnedAndReportedByThePrinter) {
  const wchar_t* address = Settings().burnPrinter.c_str();
  const std::wstring image = ImagePath(L"TVQ5530n.bin");

  ASSERT_EQ(DownloadRequired(CONNECTION_NETWORK, kDeviceMatch, image.c_str(), address), 1);
  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, kDeviceMatch, image.c_str(), address), 1);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(_DownloadFirmware(), 1);
  std::printf("_DownloadFirmware took %.1f s\n", static_cast<double>(GetTickCount64() - start) / 1000.0);

  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, kDeviceMatch, nullptr, address), 1);
  EXPECT_EQ(NetGetVersion(), Settings().imageVersion);
  // The printer now runs the image's version: the same image is no longer needed.
  EXPECT_EQ(DownloadRequired(CONNECTION_NETWORK, kDeviceMatch, image.c_str(), address), 0);
  ExpectSocketLibraryReleased();
}

}  // namespace
