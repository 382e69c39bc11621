// Flash burning over the network: DownLoadNewFW for a network printer, against simulated
// printers on loopback addresses of their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/flash_burn.h"
#include "engine/network_channel.h"
#include "host/clock.h"
#include "host/files.h"
#include "host/machine.h"
#include "host/sockets.h"
#include "image_builder.h"
#include "printer_on_loopback.h"
#include "support/cases.h"
#include "support/image_files.h"
#include "support/trace.h"

namespace {

using simprinter::ReplyFaults;
using testing_support::PrinterOnLoopback;
using testing_support::Traced;

const wchar_t kImagePath[] = L"C:\\Program Files\\Corvel\\TVQ5530n.bin";

std::string WriteImage(uint32_t typeId = fwimage::kTypeId2, const std::string& version = "216",
                       uint32_t bodySize = 3001) {
  fwimage::ImageLayout layout;
  layout.typeId = typeId;
  layout.bodySize = bodySize;
  layout.version = version;
  return testing_support::WriteImageFile(kImagePath, layout);
}

void LoadContext(const PrinterOnLoopback& printer, const wchar_t* imagePath = kImagePath) {
  std::wstring address(printer.address().begin(), printer.address().end());
  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, L"vid_7e51&pid_a717", imagePath, address.c_str()), 1);
}

std::vector<uint8_t> BytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST(NetworkBurn, ImageIsBurnedAndThePrinterReportsItsVersion) {
  PrinterOnLoopback printer;
  std::string image = WriteImage();
  LoadContext(printer);

  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  printer.WaitForIdle();
  auto& model = printer.printer().Model();
  EXPECT_EQ(model.Flash(), BytesOf(image));
  EXPECT_EQ(model.FlashTarget(), 3);  // file type 2
  EXPECT_EQ(printer.printer().Count(simprinter::Event::kUel), 1);  // no closing UEL after a success
  EXPECT_EQ(NetGetVersion(), 216);

  EXPECT_TRUE(Traced(L"DownLoadNewFW"));
  EXPECT_EQ(host::sockets::ReceiveTimeouts().front(), NET_BURN_TIMEOUT_MS);
  // 5 s before the reply is read, 10 s after the burn.
  EXPECT_EQ(host::clock::WaitsOf("Sleep"), (std::vector<DWORD>{5000, 10000}));
}

TEST(NetworkBurn, FileTypeOneIsAnnouncedWithTargetFour) {
  PrinterOnLoopback printer;
  WriteImage(fwimage::kTypeId1);
  LoadContext(printer);
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  printer.WaitForIdle();
  EXPECT_EQ(printer.printer().Model().FlashTarget(), 4);
}

TEST(NetworkBurn, RefusedOrWrongRepliesFailTheDownloadAndLeaveTheEnvelope) {
  struct Case {
    const char* name;
    ReplyFaults faults;
  };
  std::vector<Case> cases(3);
  cases[0].name = "status 0";
  cases[0].faults.status = 0;
  cases[1].name = "other command";
  cases[1].faults.command = 1;
  cases[2].name = "other prefix";
  cases[2].faults.prefix = 0xAD;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrinterOnLoopback printer;
    printer.printer().AddFault({15, 0, -1, c.faults});
    WriteImage();
    LoadContext(printer);
    int32_t status = DownLoadNewFW();
    EXPECT_NE(status, DOWNLOAD_STATUS_SUCCESS);
    EXPECT_NE(status, DOWNLOAD_STATUS_ACCEPTED);
    printer.WaitForIdle();
    EXPECT_EQ(printer.printer().Count(simprinter::Event::kUel), 2);  // opening and the one after the reply
  }
}

TEST(NetworkBurn, ReplyThatDoesNotArriveWholeFails) {
  for (bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "silent" : "in two pieces");
    host::clock::Reset();
    PrinterOnLoopback printer;
    ReplyFaults faults;
    faults.silent = silent;
    if (!silent) faults.pieces = {10};
    printer.printer().AddFault({15, 0, -1, faults});
    WriteImage();
    LoadContext(printer);
    EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
    if (silent) {
      EXPECT_EQ(host::clock::WaitsOf("recv"), std::vector<DWORD>{NET_BURN_TIMEOUT_MS});
    }
  }
}

TEST(NetworkBurn, MissingImageGivesTheFileNotFoundCode) {
  PrinterOnLoopback printer;
  WriteImage();  // the folder exists, the file does not
  LoadContext(printer, L"C:\\Program Files\\Corvel\\missing.bin");
  EXPECT_EQ(DownLoadNewFW(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(Traced(L"Failed to Open fw bin file"));
  EXPECT_EQ(host::CallCount("socket"), 0);

  LoadContext(printer, L"C:\\no such folder\\TVQ5530n.bin");
  EXPECT_EQ(DownLoadNewFW(), ERROR_PATH_NOT_FOUND);
}

TEST(NetworkBurn, ReadOnlyImageIsMadeNormalAndBurned) {
  PrinterOnLoopback printer;
  WriteImage();
  host::SetAttributes(kImagePath, FILE_ATTRIBUTE_READONLY);
  LoadContext(printer);
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  EXPECT_EQ(GetFileAttributesW(kImagePath), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
}

TEST(NetworkBurn, ImageThatCannotBeLoadedFailsBeforeAnyConnection) {
  for (const char* api : {"LocalAlloc", "ReadFile", "GetFileSize"}) {
    SCOPED_TRACE(api);
    testing_support::NextCase(api);
    PrinterOnLoopback printer;
    WriteImage();
    LoadContext(printer);
    // GetBinFileVersion reads the same file three times first: fail the burn's own read.
    if (std::string(api) == "ReadFile") {
      host::FailCall(api, ERROR_READ_FAULT, 1, 3);
    } else {
      host::FailCall(api, ERROR_NOT_ENOUGH_MEMORY);
    }
    EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
    EXPECT_EQ(host::CallCount("socket"), 0);
    EXPECT_TRUE(printer.printer().Commands().empty());
  }
}

// The text of the first trace line that starts with `start`, or "".
std::wstring LineStartingWith(const std::wstring& start) {
  for (const std::wstring& line : testing_support::TraceTexts()) {
    if (line.rfind(start, 0) == 0) return line;
  }
  return L"";
}

TEST(NetworkBurn, FailedConnectionOrSendsFailAndReleaseEverything) {
  // Sends: UEL, ENTER LANGUAGE, command, image. After a failed envelope or command send the
  // UEL is sent once more, unless that send timed out: the socket is then not used again. After
  // a failed image send there is nothing more to say; its line names the error.
  struct Case {
    int error;
    int expectedSends[4];
    const wchar_t* imageLine;  // before the image's size
  } cases[] = {{WSAECONNRESET, {1, 3, 4, 4}, L"NetBurn: send failed at 0 of "},
               {WSAETIMEDOUT, {1, 2, 3, 4}, L"NetBurn: send stalled at 0 of "}};
  for (const Case& c : cases) {
    for (int failing = 0; failing < 4; ++failing) {
      const std::string label = "error " + std::to_string(c.error) + ", send " + std::to_string(failing);
      SCOPED_TRACE(label);
      testing_support::NextCase(label);
      PrinterOnLoopback printer;
      const std::wstring size = std::to_wstring(WriteImage().size());
      LoadContext(printer);
      host::FailCall("send", static_cast<DWORD>(c.error), 1, failing);
      EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
      EXPECT_EQ(host::CallCount("send"), c.expectedSends[failing]);
      EXPECT_EQ(host::CallCount("recv"), 0);
      EXPECT_EQ(host::sockets::StartCount(), 0);
      const std::wstring line = c.imageLine + size + L" bytes (gle=" + std::to_wstring(c.error) + L")";
      EXPECT_EQ(LineStartingWith(L"NetBurn: send "), failing == 3 ? line : L"");
    }
  }

  testing_support::NextCase("nothing listens");
  WriteImage();
  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, nullptr, kImagePath, L"127.63.0.2"), 1);  // nothing listens
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_EQ(host::CallCount("send"), 0);
  EXPECT_EQ(host::sockets::StartCount(), 0);
}

TEST(NetworkBurn, PrinterThatDropsTheConnectionInsideTheImageFails) {
  PrinterOnLoopback printer;
  printer.printer().SetDropAfterReceived(9 + 25 + 16 + 1000);
  WriteImage();
  LoadContext(printer);
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_EQ(printer.printer().Model().BurnCount(), 0);
}

// A printer that takes part of the image and then reads nothing more, keeping the connection
// open: once the buffers are full, the burn waits 20 s for the printer to take something and
// then ends without waiting for a reply. The line names the offset the image had reached.
TEST(NetworkBurn, PrinterThatStopsReadingMidImageFailsAfterTheSendTimeOut) {
  PrinterOnLoopback printer;
  simprinter::ReadFaults stall;
  stall.stallAfter = 9 + 25 + 16 + 300000;
  printer.printer().SetReadFaults(stall);
  const std::string image = WriteImage(fwimage::kTypeId2, "216", 1 << 20);
  LoadContext(printer);
  const auto before = host::clock::Now();
  EXPECT_EQ(DownLoadNewFW(), BURN_STATUS_FAILED);
  EXPECT_EQ(host::sockets::SendTimeouts(), std::vector<DWORD>{NET_BURN_TIMEOUT_MS});
  EXPECT_EQ(host::clock::WaitsOf("select"), std::vector<DWORD>{NET_BURN_TIMEOUT_MS});
  EXPECT_EQ(host::clock::WaitsOf("Sleep"), std::vector<DWORD>{10000});  // only the pause after the burn
  EXPECT_EQ(host::clock::Now() - before, NET_BURN_TIMEOUT_MS + 10000u);

  const std::wstring stalled = LineStartingWith(L"NetBurn: send stalled at ");
  unsigned offset = 0;
  unsigned size = 0;
  int gle = 0;
  ASSERT_EQ(std::swscanf(stalled.c_str(), L"NetBurn: send stalled at %u of %u bytes (gle=%d)", &offset, &size, &gle), 3);
  EXPECT_EQ(size, image.size());
  EXPECT_EQ(gle, WSAETIMEDOUT);
  EXPECT_GE(offset, 300000u);  // what the printer read, and what the buffers hold
  EXPECT_LT(offset, 1u << 20);

  EXPECT_EQ(printer.printer().Count(simprinter::Event::kStalled), 1);
  EXPECT_EQ(printer.printer().Model().BurnCount(), 0);
  EXPECT_EQ(host::sockets::StartCount(), 0);
  EXPECT_EQ(host::sockets::OpenSocketCount(), 0);
}

// The stall bound is "no byte taken for 20 s", not "a piece taken in 20 s": a printer that pauses
// 15 s every 16 KiB (four pauses inside each 64 KiB piece) is burned; one that pauses 25 s once
// fails there, with the offset it stopped at.
TEST(NetworkBurn, PrinterThatPausesIsBurnedUnlessAPauseOutlastsTheTimeOut) {
  constexpr size_t kEnvelope = 9 + 25 + 16;
  std::vector<host::sockets::PeerPause> steady;
  for (size_t at = 1000; at < 200000; at += 16 * 1024) steady.push_back({kEnvelope + at, 15000});
  struct Case {
    const char* name;
    std::vector<host::sockets::PeerPause> pauses;
    bool burned;
  } cases[] = {{"15 s pauses", steady, true}, {"a 25 s pause", {{kEnvelope + 100000, 25000}}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::NextCase(c.name);
    PrinterOnLoopback printer;
    const std::string image = WriteImage(fwimage::kTypeId2, "216", 200000);
    LoadContext(printer);
    host::sockets::PausePeerReading(c.pauses);
    EXPECT_EQ(DownLoadNewFW(), c.burned ? DOWNLOAD_STATUS_SUCCESS : BURN_STATUS_FAILED);
    printer.WaitForIdle();
    if (c.burned) {
      EXPECT_EQ(printer.printer().Model().Flash(), BytesOf(image));
      EXPECT_TRUE(host::clock::WaitsOf("select").empty());
      EXPECT_EQ(LineStartingWith(L"NetBurn: "), L"");
    } else {
      EXPECT_EQ(printer.printer().Model().BurnCount(), 0);
      EXPECT_EQ(host::clock::WaitsOf("select"), std::vector<DWORD>{NET_BURN_TIMEOUT_MS});
      EXPECT_EQ(LineStartingWith(L"NetBurn: "),
                L"NetBurn: send stalled at 100000 of " + std::to_wstring(image.size()) + L" bytes (gle=10060)");
    }
  }
}

// Winsock may take fewer bytes than asked; the rest is sent, and the printer receives exactly
// the bytes a whole send would have given it. Calls: UEL, ENTER LANGUAGE, command, first piece.
TEST(NetworkBurn, ShortSendsAreCompleted) {
  for (int call = 0; call < 4; ++call) {
    SCOPED_TRACE("send " + std::to_string(call));
    testing_support::NextCase("send " + std::to_string(call));
    PrinterOnLoopback printer;
    const std::string image = WriteImage(fwimage::kTypeId2, "216", 100000);
    LoadContext(printer);
    host::sockets::ShortenSend(call);
    EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
    printer.WaitForIdle();
    EXPECT_EQ(printer.printer().Model().Flash(), BytesOf(image));
    EXPECT_EQ(printer.printer().Count(simprinter::Event::kBadRecord), 0);
  }
}

// Over real sockets: a printer that reads 256 KiB every 10 s of host clock (more than the buffers
// between it and the program hold) is burned, though the whole image takes far longer than the
// 20 s time-out. Each read empties the buffers, so neither the program's wait for room nor its
// wait for the reply after the last byte runs near its bound in real time.
TEST(NetworkBurn, SlowPrinterThatKeepsReadingIsBurned) {
  host::clock::SetCompression(10);  // the 20 s time-out takes 2 s of real time
  PrinterOnLoopback printer;
  simprinter::ReadFaults slow;
  slow.pieceBytes = 256 * 1024;
  slow.pieceGapMs = static_cast<int>(host::clock::RealDuration(10000).count() / 1000);
  printer.printer().SetReadFaults(slow);
  const std::string image = WriteImage(fwimage::kTypeId2, "216", 1024 * 1024);
  LoadContext(printer);
  EXPECT_EQ(DownLoadNewFW(), DOWNLOAD_STATUS_SUCCESS);
  EXPECT_TRUE(host::clock::WaitsOf("send").empty());
  printer.WaitForIdle();
  EXPECT_EQ(printer.printer().Model().Flash(), BytesOf(image));
}

}  // namespace
