// The engine facade for a network printer, from the device ID to a burned image.
#include "engine/engine_facade.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/engine_context.h"
#include "host/files.h"
#include "image_builder.h"
#include "support/image_files.h"
#include "printer_on_loopback.h"

namespace {

TEST(NetworkFacade, FromDeviceIdToUpdatedFirmware) {
  testing_support::PrinterOnLoopback printer;
  const std::wstring address(printer.address().begin(), printer.address().end());
  const wchar_t* match = L"vid_7e51&pid_a717";
  const wchar_t* image = L"C:\\Program Files\\TVQ\\TVQ5530n.bin";
  fwimage::ImageLayout layout;
  layout.version = "216";
  testing_support::WriteImageFile(image, layout);

  char out[FACADE_INFO_BUFFER_SIZE];
  ASSERT_EQ(Get1284String(out, CONNECTION_NETWORK, match, address.c_str()), 1);
  EXPECT_NE(std::string(out).find("MDL:TV Vexline Q5530n MFP;"), std::string::npos) << out;
  ASSERT_EQ(BuildInfo(out, CONNECTION_NETWORK, match, address.c_str()), 1);
  EXPECT_STREQ(out, "FW:Q5530n_V0215, ENGINE_0112, BOOT_0031; PANEL: WESTERN;");

  char version[FACADE_VERSION_BUFFER_SIZE];
  ASSERT_EQ(GetVersionString(version, CONNECTION_NETWORK, match, address.c_str()), 1);
  EXPECT_STREQ(version, "215");
  EXPECT_EQ(DownloadRequired(CONNECTION_NETWORK, match, image, address.c_str()), 1);
  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, match, image, address.c_str()), 1);
  EXPECT_EQ(_DownloadFirmware(), 1);
  ASSERT_EQ(GetVersionString(version, CONNECTION_NETWORK, match, address.c_str()), 1);
  EXPECT_STREQ(version, "216");
  EXPECT_EQ(DownloadRequired(CONNECTION_NETWORK, match, image, address.c_str()), 0);

  // A printer that no longer answers.
  ASSERT_EQ(GetVersionString(version, CONNECTION_NETWORK, match, L"127.63.0.3"), 1);
  EXPECT_STREQ(version, "Unknown");
}

}  // namespace
