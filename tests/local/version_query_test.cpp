// The version query over USB and the parallel port, and the download decision.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/usb_device.h"
#include "engine/engine_context.h"
#include "engine/local_channel.h"
#include "engine/version_query.h"
#include "host/clock.h"
#include "host/device_files.h"
#include "host/files.h"
#include "host/machine.h"
#include "host/services.h"
#include "image_builder.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"
#include "support/printer_device.h"
#include "support/image_files.h"
#include "support/trace.h"
#include "usb_printer.h"

namespace {

using simprinter::FaultRule;
using simprinter::ReplyFaults;
using testing_support::TraceCount;
using testing_support::Traced;
using testing_support::UsbPrinter;

ReplyFaults Status(uint16_t status) {
  ReplyFaults faults;
  faults.status = status;
  return faults;
}

TEST(UsbVersion, FailedAnswersAreRetriedAfterOneSecond) {
  UsbPrinter usb;
  usb.printer.AddFault(FaultRule{1, 0, 2, Status(0)});
  EXPECT_EQ(_GetVersionFW(), 215);
  EXPECT_EQ(TraceCount(L"GetUSBFWVersion = 0"), 2);
  EXPECT_TRUE(Traced(L"GetUSBFWVersion = 215"));
  // Each exchange pauses 1000 ms before and 500 ms after its one read; a failed one then 1000 ms.
  EXPECT_EQ(host::clock::WaitsOf("Sleep"), (std::vector<DWORD>{1000, 500, 1000, 1000, 500, 1000, 1000, 500}));
  EXPECT_EQ(usb.printer.Count(simprinter::Event::kUel), 6);  // each attempt ends with PJL_UEL
}

TEST(UsbVersion, ThreeFailuresOrNoDeviceGiveMinusOne) {
  {
    UsbPrinter usb;
    usb.printer.AddFault(FaultRule{1, 0, -1, Status(2)});
    EXPECT_EQ(_GetVersionFW(), -1);
    EXPECT_EQ(TraceCount(L"GetUSBFWVersion = 0"), 3);
    EXPECT_TRUE(Traced(L"Failed to get the Firmware Version"));
  }
  InitGlobals(CONNECTION_USB, nullptr, nullptr, L"USB\\VID_7E51&PID_A717\\GONE");
  EXPECT_EQ(_GetVersionFW(), -1);
  EXPECT_TRUE(Traced(L"OpenUSBDevice = INVALID_HANDLE_VALUE"));
}

TEST(UsbVersion, FailedClosingSequenceIsLoggedAndTheVersionKept) {
  UsbPrinter usb;
  Cusb device;
  ASSERT_EQ(device.Open(testing_support::kUsbInstance), 1);
  platform::UniqueFile handle(device.m_hUsb);
  host::FailCall("WriteFile", ERROR_GEN_FAILURE, 1, 3);  // after the envelope and the command
  EXPECT_EQ(GetUSBFWVersion(handle.get()), 215);
  EXPECT_TRUE(Traced(L"GetUSBFWVersion(): ReadData() Failed-> strlen PJL_UEL2 != nBytesRead ."));
}

class ParallelVersion : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::AttachToParallelPort(printer_);
    InitGlobals(CONNECTION_PARALLEL, L"TV Vexline Q5530n MFP", nullptr, L"");
  }
  std::vector<DWORD> OpeningAccess() const {
    std::vector<DWORD> access;
    for (const auto& opening : host::device_files::ParallelPortOpenings()) access.push_back(opening.access);
    return access;
  }
  static constexpr DWORD kRW = GENERIC_READ | GENERIC_WRITE;
  static constexpr DWORD kR = GENERIC_READ;
  simprinter::Printer printer_;
};

TEST_F(ParallelVersion, RequestOnTheReadWriteHandleReplyOnTheReadOnlyOne) {
  EXPECT_EQ(_GetVersionFW(), 215);
  EXPECT_EQ(OpeningAccess(), (std::vector<DWORD>{kRW, kR}));
  EXPECT_EQ(host::services::StopCount(L"Spooler"), 1);
  EXPECT_EQ(host::services::StartCount(L"Spooler"), 1);
  EXPECT_EQ(host::services::StatusOf(L"Spooler").dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(Traced(L"Inside GetPrllFWVersion()"));
  EXPECT_TRUE(Traced(L"GetPrllFWVersion(): read 16 prll bytes"));
  EXPECT_TRUE(Traced(L"GetPrllFWVersion = 215"));
  EXPECT_EQ(printer_.Count(simprinter::Event::kUel), 2);  // the closing one before the reply is read
  std::vector<DWORD> sleeps = host::clock::WaitsOf("Sleep");
  ASSERT_GE(sleeps.size(), 4u);
  EXPECT_EQ(sleeps.front(), 2000u);
  EXPECT_EQ(std::vector<DWORD>(sleeps.end() - 2, sleeps.end()), (std::vector<DWORD>{2000, 500}));
}

TEST_F(ParallelVersion, EachRetryOpensAFreshPort) {
  printer_.AddFault(FaultRule{1, 0, 1, Status(0)});
  EXPECT_EQ(_GetVersionFW(), 215);
  EXPECT_TRUE(Traced(L"GetPrllFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."));
  EXPECT_EQ(OpeningAccess(), (std::vector<DWORD>{kRW, kR, kRW, kR}));
  EXPECT_EQ(TraceCount(L"GetPrllFWVersion = 0"), 1);
}

TEST_F(ParallelVersion, ReplyHandleThatDoesNotOpenFailsTheAttempt) {
  host::FailCall("CreateFileW", ERROR_SHARING_VIOLATION, 1, 1);
  EXPECT_EQ(_GetVersionFW(), 215);
  EXPECT_TRUE(Traced(L"GetPrllFWVersion() Failed to open PrllPort(gle=32)"));
  EXPECT_EQ(TraceCount(L"GetPrllFWVersion = 0"), 1);
}

TEST_F(ParallelVersion, SilentPrinterFailsEveryAttempt) {
  ReplyFaults silent;
  silent.silent = true;
  printer_.AddFault(FaultRule{1, 0, -1, silent});
  EXPECT_EQ(_GetVersionFW(), -1);
  EXPECT_EQ(TraceCount(L"GetPrllFWVersion(): read -1 prll bytes"), 3);
  EXPECT_EQ(TraceCount(L"GetPrllFWVersion(): read prll error"), 3);
  // The exit sequence is attempted on the read-only handle, which refuses it.
  EXPECT_EQ(TraceCount(L"WriteData(): WriteFile failed!"), 3);
  EXPECT_TRUE(Traced(L"Couldn't manage to get the PrlPrt Firmware Version"));
  EXPECT_EQ(OpeningAccess().size(), 6u);
}

TEST_F(ParallelVersion, ShortAndWrongRepliesAreCheckedInOrder) {
  ReplyFaults code;
  code.command = 6;
  printer_.AddFault(FaultRule{1, 0, 1, code});
  ReplyFaults wrong;
  wrong.prefix = 0x00AD;
  wrong.command = 6;
  printer_.AddFault(FaultRule{1, 0, 1, wrong});
  // Last, since the rest of a short reply stays on the port for the next reader.
  ReplyFaults shortReply;
  shortReply.pieces = std::vector<size_t>(10, 1);
  printer_.AddFault(FaultRule{1, 0, 1, shortReply});
  EXPECT_EQ(_GetVersionFW(), -1);
  EXPECT_EQ(TraceCount(L"GetPrllFWVersion(): ReadData() ACLCMD_GET_VERSION Failed."), 1);  // the first only
  EXPECT_EQ(TraceCount(L"GetPrllFWVersion(): ReadData() ACL_PREFIX Failed."), 1);
  EXPECT_TRUE(Traced(L"GetPrllFWVersion(): ReadData() Failed, numBytesRead=10"));
}

TEST_F(ParallelVersion, SpoolerThatCannotStopGivesMinusOneWithoutOpeningThePort) {
  host::services::SetAdministrator(false);  // the stop control is refused
  EXPECT_EQ(_GetVersionFW(), -1);
  EXPECT_TRUE(Traced(L"Failed to StopSpoolerService() \n"));  // its own line feed stays
  EXPECT_FALSE(Traced(L"Failed to StartSpoolerService() \n"));
  EXPECT_TRUE(host::device_files::ParallelPortOpenings().empty());
  EXPECT_EQ(host::clock::WaitsOf("Sleep").front(), 2000u);
}

TEST_F(ParallelVersion, FailedWritesAndUnopenablePort) {
  host::FailCall("WriteFile", ERROR_GEN_FAILURE, 1, 1);
  EXPECT_EQ(GetPrllFWVersion(OpenParallelPortReadWrite()), 0);  // closes the port itself (leak check)
  EXPECT_TRUE(Traced(L"GetPrllFWVersion(): ReadData() Failed-> strlen PJL_ENTERLANG != nBytesRead ."));

  host::device_files::SetParallelPortError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(_GetVersionFW(), -1);
  EXPECT_TRUE(Traced(L"_DownLaodRequired Failed to open PrllPort(gle=5)"));
}

// The download decision against a USB printer at version 215.
class DownloadDecision : public ::testing::Test {
 protected:
  const wchar_t* kImage = L"C:\\Program Files\\TVQ\\TVQ5530.bin";

  void WriteImage(const std::string& version) {
    fwimage::ImageLayout layout;
    layout.version = version;
    testing_support::WriteImageFile(kImage, layout);
    host::SetAttributes(kImage, FILE_ATTRIBUTE_READONLY);
    InitGlobals(CONNECTION_USB, L"vid_7e51&pid_a717", kImage, testing_support::kUsbInstance);
  }
};

TEST_F(DownloadDecision, NewerImageOnlyIsDownloaded) {
  UsbPrinter usb;
  WriteImage("215");
  EXPECT_EQ(_DownLoadRequired(), 0);
  EXPECT_TRUE(Traced(L"binfileversion=215, fileType=2"));
  EXPECT_TRUE(Traced(L"_GetFWVersion = 215, BinFileVersion = 215"));
  EXPECT_EQ(GetFileAttributesW(kImage), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));

  WriteImage("216");
  EXPECT_EQ(_DownLoadRequired(), 1);
  WriteImage("214");
  EXPECT_EQ(_DownLoadRequired(), 0);
}

TEST_F(DownloadDecision, UnreadableImageGivesMinusOneBeforeAnyQuery) {
  UsbPrinter usb;
  WriteImage("");
  EXPECT_EQ(_DownLoadRequired(), -1);
  EXPECT_TRUE(Traced(L"binfileversion=0, fileType=2"));
  EXPECT_FALSE(Traced(L"_GetVersionFW()"));
  EXPECT_TRUE(usb.printer.Commands().empty());
}

TEST_F(DownloadDecision, FailedPrinterQueryIsNoReasonToDownload) {
  WriteImage("216");  // no printer attached
  EXPECT_EQ(_DownLoadRequired(), 0);
  EXPECT_TRUE(Traced(L"_GetFWVersion = -1, BinFileVersion = 216"));
}

TEST(NetworkVersion, PrinterThatCannotBeReachedGivesMinusOne) {
  InitGlobals(CONNECTION_NETWORK, nullptr, nullptr, L"127.77.66.55");  // nothing listens there
  EXPECT_EQ(_GetVersionFW(), -1);
}

}  // namespace
