// A printer that stops answering in the middle of an exchange: every transfer ends within its
// time-out, the failure is logged, and nothing is left pending or open; a driver that ignores
// the cancellation leaves a transfer whose buffers the engine keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/flash_burn.h"
#include "engine/local_acl.h"
#include "engine/local_channel.h"
#include "engine/usb_device.h"
#include "engine/version_query.h"
#include "host/clock.h"
#include "host/device_files.h"
#include "host/machine.h"
#include "image_builder.h"
#include "platform/unique_handle.h"
#include "support/cases.h"
#include "support/image_files.h"
#include "support/trace.h"
#include "usb_printer.h"

namespace {

using testing_support::Silence;
using testing_support::TraceCount;
using testing_support::Traced;
using testing_support::UsbPrinter;

Silence AfterRead(size_t bytes) {
  Silence silence;
  silence.afterRead = bytes;
  return silence;
}

// The run took its pauses plus one full time-out per transfer that timed out, nothing more:
// each cancelled transfer ended at once. Nothing is left pending.
void ExpectEndedWithinTimeOuts(int timedOut, DWORD timeoutMs) {
  ULONGLONG pauses = 0;
  for (DWORD ms : host::clock::WaitsOf("Sleep")) pauses += ms;
  EXPECT_EQ(host::clock::Now(), pauses + static_cast<ULONGLONG>(timedOut) * timeoutMs);
  EXPECT_EQ(host::device_files::PendingTransfers(), 0);
}

TEST(SilentPrinter, InTheMiddleOfAUsbVersionReply) {
  UsbPrinter usb({}, AfterRead(8));  // each opening hands over half a reply record, then nothing
  EXPECT_EQ(_GetVersionFW(), -1);
  EXPECT_EQ(TraceCount(L"ReadData(): WaitForSingleObject() Failed."), 3);
  EXPECT_EQ(TraceCount(L"read error aborting..."), 3);
  EXPECT_EQ(TraceCount(L"GetUSBFWVersion = 0"), 3);
  EXPECT_TRUE(Traced(L"Failed to get the Firmware Version"));
  ExpectEndedWithinTimeOuts(3, LOCAL_REPLY_TIMEOUT_MS);
}

TEST(SilentPrinter, InTheMiddleOfABuildInformationPayload) {
  UsbPrinter usb({}, AfterRead(ACL_RECORD_SIZE + 5));
  std::vector<char> out(LOCAL_INFO_BUFFER_SIZE, '#');
  EXPECT_EQ(_GetInfo(ACLCMD_GET_BUILD_INFO, out.data()), 0);
  EXPECT_EQ(std::string(out.data()), usb.printer.Model().BuildInfo().substr(0, 5));  // what did arrive
  EXPECT_TRUE(Traced(L"_GetInfo read error aborting..."));
  EXPECT_TRUE(Traced(L"_GetInfo  dwRetVal = 0"));
  ExpectEndedWithinTimeOuts(3, LOCAL_REPLY_TIMEOUT_MS);  // the payload, then each retry's reply record
}

TEST(SilentPrinter, InTheMiddleOfAUsbBurnImage) {
  Silence silence;
  silence.afterWritten = 9 + 25 + 16 + 1024;  // the envelope and two pieces of the image
  UsbPrinter usb({}, silence);
  fwimage::ImageLayout layout;
  layout.version = "216";
  layout.bodySize = 4000;
  testing_support::WriteImageFile(L"C:\\fw\\TVQ5530.bin", layout);
  ASSERT_EQ(InitGlobals(CONNECTION_USB, L"vid_7e51&pid_a717", L"C:\\fw\\TVQ5530.bin", testing_support::kUsbInstance), 1);
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_EQ(TraceCount(L"WriteData(): WaitForSingleObject failed!"), 1);
  EXPECT_FALSE(Traced(L"ReadData(): ReadData using overlapped I/O()."));  // no reply is awaited
  ExpectEndedWithinTimeOuts(1, WRITE_DATA_TIMEOUT_MS);
}

TEST(SilentPrinter, DriverThatIgnoresTheCancellationKeepsTheTransferBuffers) {
  Silence silence = AfterRead(0);
  silence.honoursCancel = false;
  UsbPrinter usb({}, silence);
  {
    Cusb device;
    ASSERT_EQ(device.Open(testing_support::kUsbInstance), 1);
    platform::UniqueFile handle(device.m_hUsb);
    char buffer[16];
    EXPECT_EQ(ReadData(handle.get(), buffer, sizeof buffer, 3000), -1);
  }
  EXPECT_TRUE(Traced(L"ReadData(): WaitForSingleObject() Failed."));
  EXPECT_TRUE(Traced(L"ReadData(): cancelled read did not end, its buffers are kept"));
  // The bounded wait for the cancellation came after the transfer's own.
  EXPECT_EQ(host::clock::WaitsOf("WaitForSingleObject"), (std::vector<DWORD>{3000, 1000}));
  // Still the system's: the transfer and the event it will signal.
  std::vector<std::string> open = host::OpenResources();
  ASSERT_EQ(open.size(), 2u) << ::testing::PrintToString(open);
  EXPECT_NE(open[0].find("pending read of 16 bytes"), std::string::npos) << open[0];
  EXPECT_NE(open[1].find("event"), std::string::npos) << open[1];
  // The kept block is the engine's to keep.
  testing_support::LeavesOpen(open[0]);
  testing_support::LeavesOpen(open[1]);
}

}  // namespace
