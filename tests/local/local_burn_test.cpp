// Flash burning over USB and the parallel port: DownLoadNewFW against simulated printers behind
// the host's device files.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/flash_burn.h"
#include "engine/version_query.h"
#include "host/clock.h"
#include "host/device_files.h"
#include "host/devices.h"
#include "host/files.h"
#include "host/machine.h"
#include "host/process.h"
#include "host/services.h"
#include "image_builder.h"
#include "support/cases.h"
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

const wchar_t kImage[] = L"C:\\Program Files\\TVQ\\TVQ5530.bin";

// Writes an image of `size` bytes in all at version 216 and returns its bytes.
std::vector<uint8_t> WriteImage(uint32_t typeId = fwimage::kTypeId2, size_t size = 1000) {
  fwimage::ImageLayout layout;
  layout.typeId = typeId;
  layout.version = "216";
  layout.bodySize = static_cast<uint32_t>(size - 4 - fwimage::Trailer(layout).size());
  std::string image = testing_support::WriteImageFile(kImage, layout);
  return std::vector<uint8_t>(image.begin(), image.end());
}

// Forwards to a printer and records the size of every write.
class RecordingEndpoint : public host::device_files::ByteStreamEndpoint {
 public:
  RecordingEndpoint(simprinter::Printer& printer, std::vector<size_t>* sizes) : inner_(printer), sizes_(sizes) {}
  DWORD Write(const uint8_t* data, size_t size) override {
    sizes_->push_back(size);
    return inner_.Write(data, size);
  }
  std::optional<std::vector<uint8_t>> Read(size_t capacity) override { return inner_.Read(capacity); }

 private:
  testing_support::PrinterEndpoint inner_;
  std::vector<size_t>* sizes_;
};

// Puts `printer` behind the USB device again, recording the size of every write.
void RecordWrites(simprinter::Printer& printer, std::vector<size_t>* sizes) {
  std::wstring path = host::devices::InterfacePathOf(testing_support::kUsbInstance);
  host::devices::Attach(testing_support::kUsbInstance, [&printer, sizes, path](DWORD access, DWORD flags) {
    return host::DeviceOpen{
        true, host::device_files::NewDevice(path, access, flags, std::make_shared<RecordingEndpoint>(printer, sizes)), 0};
  });
}

// A USB printer, the engine context loaded with the image for it.
struct UsbBurn : ::testing::Test {
  void SetUp() override { Load(); }
  void Load() {
    ASSERT_EQ(InitGlobals(CONNECTION_USB, L"vid_7e51&pid_a717", kImage, testing_support::kUsbInstance), 1);
  }
  void AddReplyFault(const ReplyFaults& faults) { usb.printer.AddFault(FaultRule{15, 0, -1, faults}); }

  UsbPrinter usb;
  std::vector<size_t> writes;
};

TEST_F(UsbBurn, ImageGoesIn512BytePiecesAndThePrinterThenReportsItsVersion) {
  std::vector<uint8_t> image = WriteImage();
  RecordWrites(usb.printer, &writes);
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  EXPECT_EQ(writes, (std::vector<size_t>{9, 25, 16, 512, 488}));  // no closing UEL after success
  EXPECT_EQ(usb.printer.Model().Flash(), image);
  EXPECT_EQ(usb.printer.Model().FlashTarget(), 3);  // file type 2
  EXPECT_TRUE(Traced(L"DownLoadNewFW"));
  EXPECT_TRUE(Traced(L"BurnFlashUSBPort"));
  EXPECT_TRUE(Traced(L"BurnFlashUSBPort bin file size = 0x3e8, highwd=0x0"));
  // 10 s before the reply, which is read once with a 120 s time-out.
  EXPECT_EQ(host::clock::WaitsOf("Sleep"), std::vector<DWORD>{10000});
  EXPECT_EQ(host::clock::WaitsOf("WaitForSingleObject").back(), 120000u);

  EXPECT_EQ(_GetVersionFW(), 216);
}

TEST_F(UsbBurn, WrongReplyFieldsSendTheExitSequenceAndFail) {
  struct Case {
    ReplyFaults faults;
    const wchar_t* line;
  };
  std::vector<Case> cases(3);
  cases[0].faults.prefix = 0xAD;
  cases[0].faults.command = 1;  // only the first failing check is logged
  cases[0].line = L"Read  acl response prefix != ACL_PREFIX";
  cases[1].faults.command = 1;
  cases[1].line = L"Read  acl response cmdID != ACLCMD_BURN_FLASH";
  cases[2].faults.status = 2;
  cases[2].line = L"Read  acl response status != ACLCMD_STATUS_SUCCESS";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::wstring(c.line).size());
    testing_support::NextCase(::testing::PrintToString(std::wstring(c.line)));
    UsbPrinter printer;
    printer.printer.AddFault(FaultRule{15, 0, -1, c.faults});
    WriteImage();
    Load();
    EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
    EXPECT_TRUE(Traced(c.line));
    EXPECT_EQ(TraceCount(L"Read  acl response prefix != ACL_PREFIX") + TraceCount(L"Read  acl response cmdID != ACLCMD_BURN_FLASH") +
                  TraceCount(L"Read  acl response status != ACLCMD_STATUS_SUCCESS"),
              1);
    EXPECT_EQ(printer.printer.Count(simprinter::Event::kUel), 2);  // the opening one and the exit
  }
}

TEST_F(UsbBurn, ReplyThatDoesNotArriveIsCancelledAndFails) {
  ReplyFaults silent;
  silent.silent = true;
  AddReplyFault(silent);
  WriteImage();
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_TRUE(Traced(L"BurnFlashUSBPort(): ReadData() Failed."));
  EXPECT_TRUE(Traced(L"Read  acl response failed"));
  EXPECT_EQ(host::device_files::PendingTransfers(), 0);

  // Part of a reply is a failure as well: it is read once.
  testing_support::NextCase("part of a reply");
  UsbPrinter partial;
  ReplyFaults pieces;
  pieces.pieces = {10};
  partial.printer.AddFault(FaultRule{15, 0, -1, pieces});
  WriteImage();
  Load();
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_TRUE(Traced(L"Read  acl response failed"));
}

TEST_F(UsbBurn, FailedWritesEndTheBurn) {
  struct Case {
    int skip;  // writes that pass first
    const wchar_t* line;
    std::vector<size_t> writes;  // what reached the device: the failed write does not
  };
  const Case cases[] = {
      {0, L"Write  PJL_UEL failed", {}},
      {1, L"Write  PJL_ENTERLANG failed", {9, 9}},  // the exit sequence follows
      {2, L"Write  acl cmd failed", {9, 25, 9}},
      {4, nullptr, {9, 25, 16, 512}},  // inside the image: no reply is read
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.skip);
    testing_support::NextCase("skip " + std::to_string(c.skip));
    writes.clear();
    UsbPrinter printer;
    WriteImage();
    Load();
    RecordWrites(printer.printer, &writes);
    host::FailCall("WriteFile", ERROR_GEN_FAILURE, 1, c.skip);
    EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
    if (c.line) {
      EXPECT_TRUE(Traced(c.line));
    }
    EXPECT_EQ(writes, c.writes);
    EXPECT_FALSE(Traced(L"ReadData(): ReadData using overlapped I/O()."));
  }
}

TEST_F(UsbBurn, ImageThatCannotBeHeldOrReadFails) {
  // Opening the device takes local memory too: the image's buffer is the last allocation.
  WriteImage();
  ASSERT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  host::FailCall("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY, 1, host::CallCount("LocalAlloc") - 1);
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_NO_MEMORY);
  EXPECT_EQ(usb.printer.Commands(), std::vector<uint16_t>{15});  // the first burn only

  host::FailCall("ReadFile", ERROR_READ_FAULT, 1, 3);  // after the version reads of GetBinFileVersion
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_TRUE(Traced(L"Read bin file failed"));
  EXPECT_EQ(usb.printer.Commands().size(), 1u);
}

TEST_F(UsbBurn, MissingDeviceOrImage) {
  WriteImage();
  ASSERT_EQ(InitGlobals(CONNECTION_USB, nullptr, kImage, L"USB\\VID_7E51&PID_A717\\GONE"), 1);
  int32_t status = DownLoadNewFW();
  EXPECT_NE(status, DOWNLOAD_STATUS_SUCCESS);
  EXPECT_NE(status, DOWNLOAD_STATUS_ACCEPTED);
  EXPECT_TRUE(Traced(L"Failed OpenUSBDevice()"));

  ASSERT_EQ(InitGlobals(CONNECTION_USB, nullptr, L"C:\\Program Files\\TVQ\\gone.bin", testing_support::kUsbInstance), 1);
  EXPECT_EQ(DownLoadNewFW(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(Traced(L"Failed to Open fw bin file"));
}

TEST(FlashTarget, ByFileTypeAndChannel) {
  // USB (and network) announce 4 for file type 1 and 3 for file type 2; the parallel port 3.
  for (uint32_t typeId : {fwimage::kTypeId1, fwimage::kTypeId2}) {
    const uint16_t expected = typeId == fwimage::kTypeId1 ? 4 : 3;
    {
      testing_support::NextCase("USB, type id " + std::to_string(typeId));
      UsbPrinter usb;
      WriteImage(typeId);
      InitGlobals(CONNECTION_USB, nullptr, kImage, testing_support::kUsbInstance);
      EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
      EXPECT_EQ(usb.printer.Model().FlashTarget(), expected) << "USB, type id " << typeId;
    }
    testing_support::NextCase("parallel, type id " + std::to_string(typeId));
    simprinter::Printer printer;
    testing_support::AttachToParallelPort(printer);
    WriteImage(typeId);
    InitGlobals(CONNECTION_PARALLEL, nullptr, kImage, L"");
    EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
    EXPECT_EQ(printer.Model().FlashTarget(), 3) << "parallel, type id " << typeId;
  }
}

// A printer on the parallel port, the context loaded for it with its name.
class ParallelBurn : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::AttachToParallelPort(printer_);
    image_ = WriteImage(fwimage::kTypeId1);
    ASSERT_EQ(InitGlobals(CONNECTION_PARALLEL, L"vid_7e51&pid_a617", kImage, L""), 1);
    ASSERT_EQ(SetPrinterNameAnsi(L"TV Vexline Q5530 MFP"), 1);
  }
  int SpoolerStops() const { return host::services::StopCount(L"Spooler"); }
  int SpoolerStarts() const { return host::services::StartCount(L"Spooler"); }

  simprinter::Printer printer_;
  std::vector<uint8_t> image_;
};

// Whether `wanted` appears in `waits` in this order (other waits may lie between).
bool InOrder(const std::vector<DWORD>& waits, const std::vector<DWORD>& wanted) {
  auto at = waits.begin();
  for (DWORD wait : wanted) {
    at = std::find(at, waits.end(), wait);
    if (at == waits.end()) return false;
    ++at;
  }
  return true;
}

TEST_F(ParallelBurn, SpoolerIsRestartedAroundTheBurnAndThePrinterUiRuns) {
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  EXPECT_EQ(printer_.Model().Flash(), image_);
  EXPECT_TRUE(Traced(L"BurnFlashPrllPort(): Successful"));
  EXPECT_EQ(printer_.Count(simprinter::Event::kBurnAccepted), 1);
  EXPECT_EQ(SpoolerStops(), 2);
  EXPECT_EQ(SpoolerStarts(), 2);
  EXPECT_EQ(host::services::StatusOf(L"Spooler").dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

  auto launches = host::process::Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].program, "C:\\Windows\\system32\\rundll32.exe");
  EXPECT_EQ(launches[0].commandLine, "rundll32.exe printui.dll,PrintUIEntry /y /n \"TV Vexline Q5530 MFP\"");

  auto openings = host::device_files::ParallelPortOpenings();
  ASSERT_EQ(openings.size(), 1u);
  EXPECT_EQ(openings[0].access, GENERIC_READ | GENERIC_WRITE);
  EXPECT_EQ(openings[0].share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
  EXPECT_EQ(openings[0].flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OVERLAPPED));

  std::vector<DWORD> sleeps = host::clock::WaitsOf("Sleep");
  EXPECT_EQ(sleeps.front(), 2000u);
  EXPECT_EQ(sleeps.back(), 5000u);
  EXPECT_TRUE(InOrder(sleeps, {2000, 1000, 2000, 3000, 60000, 4000, 1000, 5000}));

  EXPECT_EQ(_GetVersionFW(), 216);
}

TEST_F(ParallelBurn, FailedBurnIsReportedAfterTheSpoolerRestartedAllTheSame) {
  host::FailCall("WriteFile", ERROR_GEN_FAILURE, 1, 1);  // PJL_ENTERLANG
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_TRUE(Traced(L"BurnFlashPrllPort(): WriteData PJL_ENTERLANG Failed"));
  EXPECT_FALSE(Traced(L"BurnFlashPrllPort(): Successful"));
  EXPECT_EQ(SpoolerStops(), 2);
  EXPECT_EQ(SpoolerStarts(), 2);
  EXPECT_TRUE(InOrder(host::clock::WaitsOf("Sleep"), {60000, 4000, 5000}));
  EXPECT_EQ(printer_.Model().BurnCount(), 0);
}

TEST_F(ParallelBurn, EnvelopeAndImageWriteFailures) {
  struct Case {
    int skip;
    const wchar_t* line;
  };
  const Case cases[] = {{0, L"BurnFlashPrllPort(): WriteData PJL_UEL1 Failed"},
                        {2, L"BurnFlashPrllPort(): WriteData g_aclCmd Failed"},
                        {4, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.skip);
    host::ClearFaults();
    host::FailCall("WriteFile", ERROR_GEN_FAILURE, 1, c.skip);
    EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
    if (c.line) {
      EXPECT_TRUE(Traced(c.line));
    }
  }
  host::ClearFaults();
  host::FailCall("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_TRUE(Traced(L"BurnFlashPrllPort Error: pFileBuffer = NULL"));
  host::FailCall("ReadFile", ERROR_READ_FAULT, 1, 3);
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_TRUE(Traced(L"BurnFlashPrllPort ReadFile Failed"));
}

TEST_F(ParallelBurn, SpoolerThatCannotStopOrStartFailsBeforeThePortOpens) {
  host::services::SetAdministrator(false);
  int32_t status = DownLoadNewFW();
  EXPECT_NE(status, DOWNLOAD_STATUS_SUCCESS);
  EXPECT_NE(status, DOWNLOAD_STATUS_ACCEPTED);
  EXPECT_TRUE(Traced(L"Failed to StopSpoolerService() \n"));
  EXPECT_TRUE(host::device_files::ParallelPortOpenings().empty());
  EXPECT_TRUE(host::process::Launches().empty());

  host::services::SetAdministrator(true);
  host::services::SetDisabled(L"Spooler", true);
  EXPECT_EQ(DownLoadNewFW(), status);
  EXPECT_TRUE(Traced(L"Failed to StartSpoolerService() \n"));
  EXPECT_TRUE(host::device_files::ParallelPortOpenings().empty());
}

TEST_F(ParallelBurn, PortIsTriedTwice) {
  // CreateFileW: the image's version read, the image, then the port.
  host::FailCall("CreateFileW", ERROR_SHARING_VIOLATION, 1, 2);
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  EXPECT_EQ(host::device_files::ParallelPortOpenings().size(), 1u);  // the second attempt

  host::device_files::SetParallelPortError(ERROR_ACCESS_DENIED);
  int before = host::CallCount("CreateFileW");
  EXPECT_EQ(DownLoadNewFW(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Traced(L"_DownLoadNewFw() Failed to open PrllPort(gle=5)"));
  EXPECT_EQ(host::CallCount("CreateFileW") - before, 4);  // the image twice, the port twice
}

TEST_F(ParallelBurn, SpoolerRestartFailingAfterAGoodBurnKeepsTheSuccess) {
  host::FailCall("ControlService", ERROR_ACCESS_DENIED, 1, 1);  // the second stop
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  EXPECT_TRUE(Traced(L"Failed to StopSpoolerService() \n"));
  EXPECT_EQ(printer_.Model().BurnCount(), 1);
}

TEST_F(ParallelBurn, PrinterUiCommandNamesOnlyAPrinterItCanName) {
  // Loading the context forgets the name; without one the command is not started.
  ASSERT_EQ(InitGlobals(CONNECTION_PARALLEL, nullptr, kImage, L""), 1);
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  EXPECT_TRUE(host::process::Launches().empty());
  EXPECT_TRUE(Traced(L"_DownLoadNewFw(): no printer name, printer UI command not started"));

  // A name the ANSI code page cannot hold is refused rather than sent with substitutes.
  EXPECT_EQ(SetPrinterNameAnsi(L"Drucker \x4E00"), 0);
  EXPECT_STREQ(EngineContext().printerNameAnsi, "");

  // Its first run of characters that are not double quotes.
  ASSERT_EQ(SetPrinterNameAnsi(L"\"Büro\" 2"), 1);
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  ASSERT_EQ(host::process::Launches().size(), 1u);
  EXPECT_EQ(host::process::Launches()[0].commandLine, "rundll32.exe printui.dll,PrintUIEntry /y /n \"B\xFCro\"");

  // A system directory that the ANSI code page holds only as look-alikes names no program.
  host::process::SetSystemDirectory(L"C:\\Windows\\Syst\u0117m32");
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  EXPECT_EQ(host::process::Launches().size(), 1u);
  EXPECT_TRUE(Traced(L"_DownLoadNewFw(): system directory not usable in the ANSI code page: C:\\Windows\\Syst\u0117m32"));
  EXPECT_TRUE(Traced(L"_DownLoadNewFw(): no program path, printer UI command not started"));
  host::process::SetSystemDirectory(L"C:\\Windows\\system32");

  // A machine without the program still burns: the command's outcome is not examined.
  host::process::RemoveProgram(L"C:\\Windows\\system32\\rundll32.exe");
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  EXPECT_EQ(host::process::Launches().size(), 1u);
}

}  // namespace
