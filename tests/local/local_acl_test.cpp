// ACL exchanges and information queries on a USB device with a simulated printer behind it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/usb_device.h"
#include "engine/engine_context.h"
#include "engine/local_acl.h"
#include "host/clock.h"
#include "host/device_files.h"
#include "host/machine.h"
#include "host/services.h"
#include "platform/unique_handle.h"
#include "support/cases.h"
#include "support/printer_device.h"
#include "support/trace.h"
#include "usb_printer.h"

namespace {

using simprinter::FaultRule;
using simprinter::ReplyFaults;
using testing_support::kUsbInstance;
using testing_support::TraceCount;
using testing_support::Traced;
using testing_support::UsbPrinter;

const wchar_t* kCheckLines[] = {L"aclResponse.prefix != ACL_PREFIX", L"aclResponse.cmdID != 0x1",
                                L"aclResponse.cmdStatus != ACLCMD_STATUS_SUCCESS"};

std::vector<std::wstring> CheckLinesTraced() {
  std::vector<std::wstring> lines;
  for (const wchar_t* line : kCheckLines) {
    if (Traced(line)) lines.push_back(line);
  }
  return lines;
}

class SendAclCmdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Cusb usb;
    ASSERT_EQ(usb.Open(kUsbInstance), 1);
    device_.reset(usb.m_hUsb);
  }
  void Reply(ReplyFaults faults) { usb_.printer.AddFault(FaultRule{1, 0, -1, faults}); }
  int Send() { return SendAclCmd(device_.get(), 0x101); }  // only the low 8 bits count

  UsbPrinter usb_;
  platform::UniqueFile device_;
};

TEST_F(SendAclCmdTest, ReplyInPiecesIsAssembledAndPasses) {
  ReplyFaults faults;
  faults.pieces = {10, 4, 2};
  Reply(faults);
  EXPECT_EQ(Send(), 1);
  const uint8_t command[16] = {0x00, 0xAC, 0x00, 0x01};
  EXPECT_EQ(std::memcmp(g_aclCmd.bytes, command, 16), 0);
  EXPECT_EQ(aclResponse.version(), 215);
  EXPECT_TRUE(Traced(L"Send acl cmd 0x1"));
  for (const wchar_t* line : {L"read 10 bytes", L"read 4 bytes", L"read 2 bytes"}) EXPECT_TRUE(Traced(line)) << line;
  EXPECT_EQ(host::clock::WaitsOf("Sleep"), (std::vector<DWORD>{1000, 500, 500, 500}));
  EXPECT_TRUE(CheckLinesTraced().empty());
  EXPECT_EQ(usb_.printer.Commands(), std::vector<uint16_t>{1});
  EXPECT_EQ(usb_.printer.Count(simprinter::Event::kUel), 1);  // the closing one is the caller's
}

TEST_F(SendAclCmdTest, ReplyStillShortAfterTenReadsFails) {
  ReplyFaults faults;
  faults.pieces = std::vector<size_t>(10, 1);
  Reply(faults);
  EXPECT_EQ(Send(), 0);
  EXPECT_EQ(TraceCount(L"read 1 bytes"), 10);
  EXPECT_TRUE(CheckLinesTraced().empty());  // the ten bytes that came hold a good prefix, code and status
}

TEST_F(SendAclCmdTest, ChecksStillRunOnAShortReply) {
  ReplyFaults faults;
  faults.pieces = std::vector<size_t>(10, 1);
  faults.prefix = 0x00AD;
  faults.status = 0;
  Reply(faults);
  EXPECT_EQ(Send(), 0);
  EXPECT_EQ(CheckLinesTraced(), (std::vector<std::wstring>{kCheckLines[0], kCheckLines[2]}));
}

TEST_F(SendAclCmdTest, EachFailedCheckLogsItsOwnLine) {
  ReplyFaults faults;
  faults.status = 2;
  Reply(faults);
  EXPECT_EQ(Send(), 0);
  EXPECT_EQ(CheckLinesTraced(), std::vector<std::wstring>{kCheckLines[2]});
  usb_.printer.ClearFaults();

  faults = {};
  faults.prefix = 0;
  faults.command = 6;
  Reply(faults);
  EXPECT_EQ(Send(), 0);
  EXPECT_EQ(CheckLinesTraced(), (std::vector<std::wstring>{kCheckLines[0], kCheckLines[1], kCheckLines[2]}));
}

TEST_F(SendAclCmdTest, ReadErrorAbortsAndSendsTheExitSequence) {
  ReplyFaults faults;
  faults.silent = true;
  Reply(faults);
  EXPECT_EQ(Send(), 0);
  EXPECT_TRUE(Traced(L"read -1 bytes"));
  EXPECT_TRUE(Traced(L"read error aborting..."));
  EXPECT_EQ(usb_.printer.Count(simprinter::Event::kUel), 2);
  EXPECT_EQ(host::clock::WaitsOf("Sleep"), std::vector<DWORD>{1000});  // no pause after the failed read
  EXPECT_TRUE(CheckLinesTraced().empty());
}

TEST_F(SendAclCmdTest, FailedEnvelopeWriteFailsTheResultButTheExchangeGoesOn) {
  host::FailCall("WriteFile", ERROR_GEN_FAILURE, 1, 1);  // the PJL_ENTERLANG write
  EXPECT_EQ(Send(), 0);
  EXPECT_TRUE(Traced(L"WriteData(): WriteFile failed!"));
  EXPECT_TRUE(Traced(L"Send acl cmd 0x1"));
  EXPECT_GE(host::CallCount("ReadFile"), 1);
}

// The out buffer of _GetInfo with guard bytes behind it.
struct InfoBuffer {
  std::vector<char> bytes = std::vector<char>(LOCAL_INFO_BUFFER_SIZE + 32, '#');
  char* data() { return bytes.data(); }
  bool GuardIntact() const {
    for (size_t i = LOCAL_INFO_BUFFER_SIZE; i < bytes.size(); ++i) {
      if (bytes[i] != '#') return false;
    }
    return true;
  }
};

TEST(GetInfo, DeviceIdPayloadArrivesAsSentAndTheDeviceIsClosed) {
  UsbPrinter usb;
  InfoBuffer out;
  EXPECT_EQ(_GetInfo(ACLCMD_GET_DEVICE_ID, out.data()), 1);
  std::vector<uint8_t> payload = usb.printer.Model().DeviceIdPayload();
  ASSERT_EQ(std::memcmp(out.data(), payload.data(), payload.size()), 0);
  EXPECT_EQ(out.bytes[payload.size()], '\0');
  EXPECT_TRUE(Traced(L"_GetInfo  dwRetVal = 1"));
  EXPECT_EQ(usb.printer.Count(simprinter::Event::kUel), 2);
  EXPECT_TRUE(out.GuardIntact());
}

TEST(GetInfo, PayloadOf600BytesArrivesIn512And88) {
  simprinter::PrinterSettings settings;
  settings.buildInfo = std::string(590, 'b') + "PANEL: X;";
  settings.buildInfo.resize(600, '.');
  UsbPrinter usb(settings);
  InfoBuffer out;
  EXPECT_EQ(_GetInfo(ACLCMD_GET_BUILD_INFO, out.data()), 1);
  EXPECT_EQ(std::string(out.data()), settings.buildInfo);
  EXPECT_TRUE(Traced(L"_GetInfo asking for 600 bytes, read 512 bytes"));
  EXPECT_TRUE(Traced(L"_GetInfo asking for 88 bytes, read 88 bytes"));
}

TEST(GetInfo, OversizedLengthIsClippedAndZeroLengthReadsNothing) {
  UsbPrinter usb;
  ReplyFaults faults;
  faults.payloadLength = 2000;
  faults.payload = std::string(1500, 'p');
  usb.printer.AddFault(FaultRule{19, 0, 1, faults});
  InfoBuffer out;
  EXPECT_EQ(_GetInfo(ACLCMD_GET_BUILD_INFO, out.data()), 1);
  EXPECT_EQ(std::string(out.data()), std::string(1023, 'p'));
  EXPECT_TRUE(Traced(L"_GetInfo asking for 1023 bytes, read 512 bytes"));
  EXPECT_TRUE(Traced(L"_GetInfo asking for 511 bytes, read 511 bytes"));
  EXPECT_TRUE(out.GuardIntact());

  faults = {};
  faults.payload = "";
  usb.printer.AddFault(FaultRule{19, 0, 1, faults});
  InfoBuffer empty;
  int readsBefore = host::CallCount("ReadFile");
  EXPECT_EQ(_GetInfo(ACLCMD_GET_BUILD_INFO, empty.data()), 1);
  EXPECT_EQ(empty.bytes[0], '#');
  EXPECT_EQ(host::CallCount("ReadFile") - readsBefore, 1);  // the reply record only
}

TEST(GetInfo, FailedAttemptIsRetried) {
  UsbPrinter usb;
  ReplyFaults faults;
  faults.silent = true;
  usb.printer.AddFault(FaultRule{6, 0, 1, faults});
  InfoBuffer out;
  EXPECT_EQ(_GetInfo(ACLCMD_GET_DEVICE_ID, out.data()), 1);
  EXPECT_EQ(TraceCount(L"Send acl cmd 0x6"), 2);
}

TEST(GetInfo, ThreeFailedAttemptsGiveZero) {
  UsbPrinter usb;
  ReplyFaults faults;
  faults.status = 0;
  usb.printer.AddFault(FaultRule{6, 0, -1, faults});
  InfoBuffer out;
  EXPECT_EQ(_GetInfo(ACLCMD_GET_DEVICE_ID, out.data()), 0);
  EXPECT_EQ(TraceCount(L"Send acl cmd 0x6"), 3);
  EXPECT_TRUE(Traced(L"_GetInfo  dwRetVal = 0"));
}

TEST(GetInfo, DeviceThatCannotBeOpenedGivesZero) {
  InitGlobals(CONNECTION_USB, nullptr, nullptr, L"USB\\VID_7E51&PID_A717\\MISSING");
  InfoBuffer out;
  EXPECT_EQ(_GetInfo(ACLCMD_GET_DEVICE_ID, out.data()), 0);
  EXPECT_TRUE(Traced(L"_GetInfo OpenUSBDevice = INVALID_HANDLE_VALUE"));
  EXPECT_FALSE(Traced(L"_GetInfo  dwRetVal = 0"));  // it ends before the attempts
}

TEST(GetInfo, ParallelPrinterIsAskedOnThePortAfterASpoolerRestart) {
  UsbPrinter usb;  // present, and never asked: the context's empty instance ID names no device
  simprinter::Printer printer;
  testing_support::AttachToParallelPort(printer);
  InitGlobals(CONNECTION_PARALLEL, L"TV Vexline Q5530 MFP", nullptr, L"");

  InfoBuffer id;
  EXPECT_EQ(_GetInfo(ACLCMD_GET_DEVICE_ID, id.data()), 1);
  std::vector<uint8_t> payload = printer.Model().DeviceIdPayload();
  ASSERT_EQ(std::memcmp(id.data(), payload.data(), payload.size()), 0);
  EXPECT_EQ(id.bytes[payload.size()], '\0');
  // 2000 ms before the spooler stop and before the port opening, then the exchange: 1000 ms
  // before its first read, 500 ms after the reply's and the payload's.
  std::vector<DWORD> sleeps = host::clock::WaitsOf("Sleep");
  ASSERT_GE(sleeps.size(), 5u);
  EXPECT_EQ(sleeps.front(), 2000u);
  EXPECT_EQ(std::vector<DWORD>(sleeps.end() - 4, sleeps.end()), (std::vector<DWORD>{2000, 1000, 500, 500}));

  InfoBuffer build;
  EXPECT_EQ(_GetInfo(ACLCMD_GET_BUILD_INFO, build.data()), 1);
  EXPECT_EQ(std::string(build.data()), printer.Model().BuildInfo());
  EXPECT_TRUE(build.GuardIntact());

  // One read-write, overlapped opening per query, each closed again (the leak check), and one
  // spooler restart per query.
  auto openings = host::device_files::ParallelPortOpenings();
  ASSERT_EQ(openings.size(), 2u);
  for (const auto& opening : openings) {
    EXPECT_EQ(opening.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(opening.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_NE(opening.flags & FILE_FLAG_OVERLAPPED, 0u);
  }
  EXPECT_EQ(host::services::StopCount(L"Spooler"), 2);
  EXPECT_EQ(host::services::StartCount(L"Spooler"), 2);
  EXPECT_EQ(printer.Commands(), (std::vector<uint16_t>{ACLCMD_GET_DEVICE_ID, ACLCMD_GET_BUILD_INFO}));
  EXPECT_EQ(printer.Count(simprinter::Event::kUel), 4);  // envelope and closing sequence each
  EXPECT_EQ(TraceCount(L"_GetInfo  dwRetVal = 1"), 2);
  EXPECT_TRUE(usb.printer.Commands().empty());
}

TEST(GetInfo, ParallelPortThatCannotBeReachedGivesZero) {
  struct Case {
    const char* name;
    void (*setUp)();
    const wchar_t* line;
  };
  const Case cases[] = {
      {"spooler does not stop", [] { host::services::SetAdministrator(false); }, L"Failed to StopSpoolerService() \n"},
      {"port does not open", [] { host::device_files::SetParallelPortError(ERROR_ACCESS_DENIED); },
       L"_GetInfo Failed to open PrllPort(gle=5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::NextCase(c.name);
    simprinter::Printer printer;
    testing_support::AttachToParallelPort(printer);
    InitGlobals(CONNECTION_PARALLEL, L"TV Vexline Q5530 MFP", nullptr, L"");
    c.setUp();
    InfoBuffer out;
    EXPECT_EQ(_GetInfo(ACLCMD_GET_BUILD_INFO, out.data()), 0);
    EXPECT_TRUE(Traced(c.line));
    EXPECT_EQ(out.bytes[0], '#');
    EXPECT_TRUE(printer.Commands().empty());
    EXPECT_FALSE(Traced(L"_GetInfo  dwRetVal = 0"));  // it ends before the attempts
  }
}

}  // namespace
