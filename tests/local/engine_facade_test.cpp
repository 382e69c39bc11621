// The engine facade for USB and parallel printers, from the device ID to a burned image.
#include "engine/engine_facade.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "host/clock.h"
#include "host/device_files.h"
#include "host/files.h"
#include "host/machine.h"
#include "image_builder.h"
#include "support/cases.h"
#include "support/printer_device.h"
#include "support/image_files.h"
#include "support/trace.h"
#include "usb_printer.h"

namespace {

using simprinter::FaultRule;
using simprinter::ReplyFaults;
using testing_support::kUsbInstance;
using testing_support::TraceTexts;
using testing_support::Traced;
using testing_support::UsbPrinter;

const wchar_t kMatch[] = L"vid_7e51&pid_a717";
const wchar_t kImage[] = L"C:\\Program Files\\TVQ\\TVQ5530n.bin";

void WriteImage(const std::string& version) {
  fwimage::ImageLayout layout;
  layout.version = version;
  testing_support::WriteImageFile(kImage, layout);
}

struct Buffer {
  std::vector<char> bytes = std::vector<char>(FACADE_INFO_BUFFER_SIZE, '#');
  char* data() { return bytes.data(); }
  std::string text() const { return std::string(bytes.data()); }
};

TEST(EngineFacade, UsbPrinterFromDeviceIdToUpdatedFirmware) {
  UsbPrinter usb;
  WriteImage("216");

  Buffer out;
  ASSERT_EQ(Get1284String(out.data(), CONNECTION_USB, kMatch, kUsbInstance), 1);
  const std::string id = usb.printer.Model().DeviceId();
  EXPECT_EQ(static_cast<uint8_t>(out.bytes[0]), (id.size() + 2) >> 8);  // the payload as sent
  EXPECT_EQ(static_cast<uint8_t>(out.bytes[1]), (id.size() + 2) & 0xFF);
  EXPECT_EQ(std::string(out.data() + 2), id);
  EXPECT_TRUE(Traced(L"Get1284String"));
  EXPECT_TRUE(Traced(L"_Get1284String()"));

  ASSERT_EQ(BuildInfo(out.data(), CONNECTION_USB, kMatch, kUsbInstance), 1);
  EXPECT_EQ(out.text(), usb.printer.Model().BuildInfo());
  EXPECT_TRUE(Traced(L"_BuildInfo()"));
  EXPECT_STREQ(EngineContext().binFilePath, L"");  // the queries load no image path

  EXPECT_EQ(DownloadRequired(CONNECTION_USB, kMatch, kImage, kUsbInstance), 1);
  ASSERT_EQ(InitGlobals(CONNECTION_USB, kMatch, kImage, kUsbInstance), 1);
  host::clock::ClearWaits();
  EXPECT_EQ(_DownloadFirmware(), 1);
  EXPECT_TRUE(Traced(L"_DownloadFirmware()"));
  EXPECT_EQ(host::clock::WaitsOf("Sleep").back(), 5000u);
  EXPECT_EQ(usb.printer.Model().Version(), 216u);

  char version[FACADE_VERSION_BUFFER_SIZE];
  ASSERT_EQ(GetVersionString(version, CONNECTION_USB, kMatch, kUsbInstance), 1);
  EXPECT_STREQ(version, "216");
  EXPECT_EQ(DownloadRequired(CONNECTION_USB, kMatch, kImage, kUsbInstance), 0);
}

TEST(EngineFacade, ParallelPrinterIsAskedAndBurnedThroughThePort) {
  simprinter::Printer printer;
  testing_support::AttachToParallelPort(printer);
  WriteImage("216");
  const wchar_t* name = L"TV Vexline Q5530 MFP";

  // The information queries run on the port, not on a USB device (the context names none).
  Buffer out;
  ASSERT_EQ(Get1284String(out.data(), CONNECTION_PARALLEL, name, L""), 1);
  std::vector<uint8_t> payload = printer.Model().DeviceIdPayload();
  EXPECT_EQ(std::vector<uint8_t>(out.bytes.begin(), out.bytes.begin() + static_cast<long>(payload.size())), payload);
  ASSERT_EQ(BuildInfo(out.data(), CONNECTION_PARALLEL, name, L""), 1);
  EXPECT_EQ(out.text(), printer.Model().BuildInfo());
  EXPECT_FALSE(Traced(L"_GetInfo OpenUSBDevice = INVALID_HANDLE_VALUE"));

  char version[FACADE_VERSION_BUFFER_SIZE];
  ASSERT_EQ(GetVersionString(version, CONNECTION_PARALLEL, name, L""), 1);
  EXPECT_STREQ(version, "215");
  EXPECT_EQ(DownloadRequired(CONNECTION_PARALLEL, name, kImage, L""), 1);
  ASSERT_EQ(InitGlobals(CONNECTION_PARALLEL, name, kImage, L""), 1);
  EXPECT_EQ(_DownloadFirmware(), 1);
  ASSERT_EQ(GetVersionString(version, CONNECTION_PARALLEL, name, L""), 1);
  EXPECT_STREQ(version, "216");
}

TEST(EngineFacade, VersionTextIsTheNumberOrUnknown) {
  UsbPrinter usb;
  char version[FACADE_VERSION_BUFFER_SIZE];
  ASSERT_EQ(GetVersionString(version, CONNECTION_USB, kMatch, kUsbInstance), 1);
  EXPECT_STREQ(version, "215");
  EXPECT_TRUE(Traced(L"GetVersionString"));

  ReplyFaults refused;
  refused.status = 0;
  usb.printer.AddFault(FaultRule{1, 0, -1, refused});
  ASSERT_EQ(GetVersionString(version, CONNECTION_USB, kMatch, kUsbInstance), 1);
  EXPECT_STREQ(version, "Unknown");

  // A kind the engine does not know leaves the text as it was.
  EXPECT_EQ(GetVersionString(version, 7, kMatch, kUsbInstance), 0);
  EXPECT_STREQ(version, "Unknown");
}

TEST(EngineFacade, UnknownKindGivesMinusOneAndAnEmptyText) {
  for (auto query : {Get1284String, BuildInfo}) {
    testing_support::NextCase(query == Get1284String ? "device ID" : "build information");
    Buffer out;
    EXPECT_EQ(query(out.data(), 7, kMatch, kUsbInstance), -1);
    EXPECT_EQ(out.bytes[0], '\0');
    EXPECT_EQ(out.bytes[1], '#');
    // Only the facade's own line and the context's first two.
    auto texts = TraceTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], L"FWDownload.InitGlobals()");
    EXPECT_EQ(texts[2], L"type=7");
  }
  // The download decision lets the download go ahead, which then reports the failure.
  EXPECT_NE(DownloadRequired(7, kMatch, kImage, kUsbInstance), 0);
}

TEST(EngineFacade, DownloadStatusDecidesTheResult) {
  UsbPrinter usb;
  WriteImage("216");
  ASSERT_EQ(InitGlobals(CONNECTION_USB, kMatch, kImage, kUsbInstance), 1);

  // The image that does not open gives its system error code as the status; 4545 is success.
  host::FailCall("CreateFileW", 4545, 1, 1);  // after the image's version read
  EXPECT_EQ(_DownloadFirmware(), 1);
  for (const std::wstring& text : TraceTexts()) EXPECT_EQ(text.find(L"**** FirmwareError"), std::wstring::npos);

  host::FailCall("CreateFileW", ERROR_SHARING_VIOLATION, 1, 1);
  EXPECT_EQ(_DownloadFirmware(), 0);
  EXPECT_TRUE(Traced(L"**** FirmwareError dwStatus=32"));

  ReplyFaults refused;
  refused.status = 2;
  usb.printer.AddFault(FaultRule{15, 0, -1, refused});
  EXPECT_EQ(_DownloadFirmware(), 0);
  EXPECT_TRUE(Traced(L"**** FirmwareError dwStatus=325"));
  EXPECT_EQ(usb.printer.Model().BurnCount(), 1);  // burned, but the printer answered with a failure
}

}  // namespace
