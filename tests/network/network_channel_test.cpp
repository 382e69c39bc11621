// The network channel against simulated printers on loopback addresses of their own.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/network_channel.h"
#include "host/clock.h"
#include "host/machine.h"
#include "host/sockets.h"
#include "printer_on_loopback.h"
#include "support/cases.h"
#include "support/trace.h"

namespace {

using testing_support::PrinterOnLoopback;
using simprinter::FaultRule;
using simprinter::ReplyFaults;

// The out buffer of an information query, followed by guard bytes that must stay untouched.
struct OutBuffer {
  static constexpr size_t kGuard = 64;
  std::vector<char> bytes = std::vector<char>(NET_INFO_BUFFER_SIZE + kGuard, '#');
  char* data() { return bytes.data(); }
  bool GuardIntact() const {
    for (size_t i = NET_INFO_BUFFER_SIZE; i < bytes.size(); ++i) {
      if (bytes[i] != '#') return false;
    }
    return true;
  }
};

// Each of the three queries, as a uniform "did it succeed" call.
struct Query {
  const char* name;
  uint16_t code;
  DWORD timeout;
  bool (*run)();
};
const Query kQueries[] = {
    {"version", 1, NET_VERSION_TIMEOUT_MS, [] { return NetGetVersion() != 0; }},
    {"device ID", 6, NET_INFO_TIMEOUT_MS, [] {
       OutBuffer out;
       return NetGet1284String(out.data()) == 1;
     }},
    {"build information", 19, NET_INFO_TIMEOUT_MS, [] {
       OutBuffer out;
       return NetBuildInfo(out.data()) == 1;
     }},
};

TEST(NetworkChannel, VersionDigitsGiveTheVersion) {
  simprinter::PrinterSettings settings;
  settings.version = 215;
  PrinterOnLoopback printer(settings);
  printer.LoadContext();
  EXPECT_EQ(NetGetVersion(), 215);
  printer.WaitForIdle();
  EXPECT_EQ(host::sockets::ReceiveTimeouts(), std::vector<DWORD>{8000});
  EXPECT_EQ(printer.printer().Commands(), std::vector<uint16_t>{1});
  EXPECT_EQ(printer.printer().Count(simprinter::Event::kUel), 2);  // opening and closing
  EXPECT_EQ(host::CallCount("WSAStartup"), host::CallCount("WSACleanup"));
}

TEST(NetworkChannel, DeviceIdTextStartsAtThePayloadsSecondByte) {
  simprinter::PrinterSettings settings;
  settings.deviceId = "MFG:TV;CMD:PJL,ACL;MDL:TV Vexline Q5530n MFP;CLS:PRINTER;DES:TV Vexline Q5530n MFP;" +
                      std::string(5, ' ');
  ASSERT_EQ(settings.deviceId.size() + 2, 0x5Au);  // payload begins 0x00 0x5A
  PrinterOnLoopback printer(settings);
  printer.LoadContext();
  OutBuffer out;
  ASSERT_EQ(NetGet1284String(out.data()), 1);
  EXPECT_EQ(out.bytes[0], 0x5A);
  EXPECT_EQ(std::string(out.data() + 1), settings.deviceId);
  EXPECT_TRUE(out.GuardIntact());
  EXPECT_EQ(host::sockets::ReceiveTimeouts(), std::vector<DWORD>{20000});
}

TEST(NetworkChannel, BuildInformationIsReceivedAsAnnounced) {
  PrinterOnLoopback printer;
  printer.LoadContext();
  OutBuffer out;
  ASSERT_EQ(NetBuildInfo(out.data()), 1);
  EXPECT_STREQ(out.data(), "FW:Q5530n_V0215, ENGINE_0112, BOOT_0031; PANEL: WESTERN;");
  EXPECT_EQ(host::sockets::ReceiveTimeouts(), std::vector<DWORD>{20000});
}

TEST(NetworkChannel, BuildInformationOf1024BytesEndsAtTheLastByteOfOut) {
  simprinter::PrinterSettings settings;
  settings.buildInfo = std::string(1024, 'b');
  PrinterOnLoopback printer(settings);
  printer.LoadContext();
  OutBuffer out;
  ASSERT_EQ(NetBuildInfo(out.data()), 1);
  EXPECT_EQ(std::strlen(out.data()), 1024u);
  EXPECT_EQ(out.bytes[1024], '\0');
  EXPECT_TRUE(out.GuardIntact());
}

TEST(NetworkChannel, LongerAnnouncementsNeverWritePastOut) {
  for (uint16_t announced : {1025, 2000, 0xFFFF}) {
    SCOPED_TRACE(announced);
    PrinterOnLoopback printer;
    ReplyFaults faults;
    faults.payloadLength = announced;
    faults.payload = std::string(2000, 'b');
    printer.printer().AddFault({19, 0, -1, faults});
    printer.LoadContext();
    OutBuffer out;
    ASSERT_EQ(NetBuildInfo(out.data()), 1);
    EXPECT_LE(std::strlen(out.data()), 1023u);
    EXPECT_EQ(out.bytes[1024], '#');  // 1023 bytes and the zero at most
    EXPECT_TRUE(out.GuardIntact());
  }
}

TEST(NetworkChannel, ReplyInTwoPiecesFailsWithoutRetry) {
  for (const Query& query : kQueries) {
    SCOPED_TRACE(query.name);
    PrinterOnLoopback printer;
    ReplyFaults faults;
    faults.pieces = {10};
    printer.printer().AddFault({0, 0, -1, faults});
    printer.LoadContext();
    EXPECT_FALSE(query.run());
    EXPECT_EQ(printer.printer().Commands(), std::vector<uint16_t>{query.code});
  }
}

TEST(NetworkChannel, WrongPrefixCommandOrStatusFails) {
  for (const Query& query : kQueries) {
    for (int field = 0; field < 3; ++field) {
      SCOPED_TRACE(std::string(query.name) + " field " + std::to_string(field));
      PrinterOnLoopback printer;
      ReplyFaults faults;
      if (field == 0) faults.prefix = 0xAD;
      if (field == 1) faults.command = static_cast<uint16_t>(query.code + 1);
      if (field == 2) faults.status = 2;
      printer.printer().AddFault({0, 0, -1, faults});
      printer.LoadContext();
      EXPECT_FALSE(query.run());
    }
  }
}

TEST(NetworkChannel, SilentPrinterFailsAfterTheReceiveTimeOut) {
  for (const Query& query : kQueries) {
    SCOPED_TRACE(query.name);
    host::clock::Reset();
    PrinterOnLoopback printer;
    ReplyFaults faults;
    faults.silent = true;
    printer.printer().AddFault({0, 0, -1, faults});
    printer.LoadContext();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(query.run());
    EXPECT_EQ(host::clock::WaitsOf("recv"), std::vector<DWORD>{query.timeout});
    EXPECT_EQ(host::clock::Now(), query.timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
}

TEST(NetworkChannel, SlowPrinterWithinTheTimeOutSucceeds) {
  PrinterOnLoopback printer;
  ReplyFaults faults;
  faults.delayMs = 300;
  printer.printer().AddFault({0, 0, -1, faults});
  printer.LoadContext();
  EXPECT_EQ(NetGetVersion(), 215);
}

// A printer that takes the first bytes and then reads nothing more: the send that finds the
// buffers full ends after the operation's own time-out, which is also its send time-out.
TEST(NetworkChannel, StalledSendEndsEachQueryAfterItsTimeOut) {
  for (const Query& query : kQueries) {
    SCOPED_TRACE(query.name);
    testing_support::NextCase(query.name);
    PrinterOnLoopback printer;
    printer.LoadContext();
    host::sockets::StallSendsAfter(PJL_UEL_LENGTH);
    EXPECT_FALSE(query.run());
    EXPECT_EQ(host::sockets::ReceiveTimeouts(), std::vector<DWORD>{query.timeout});
    EXPECT_EQ(host::sockets::SendTimeouts(), std::vector<DWORD>{query.timeout});
    EXPECT_EQ(host::clock::WaitsOf("send"), std::vector<DWORD>{query.timeout});
    EXPECT_EQ(host::clock::Now(), query.timeout);
    EXPECT_EQ(host::CallCount("recv"), 0);
    EXPECT_EQ(host::sockets::StartCount(), 0);
    EXPECT_EQ(host::sockets::OpenSocketCount(), 0);
  }
}

// A printer whose connection never completes (Windows alone would wait 21 s for it, Wine on
// Linux about two minutes) fails every query after 5 s, before anything is sent.
TEST(NetworkChannel, ConnectThatNeverCompletesFailsAfterFiveSeconds) {
  PrinterOnLoopback printer({}, true);
  printer.LoadContext();
  const std::wstring line =
      L"NetConnect: no answer from " + std::wstring(printer.address().begin(), printer.address().end()) +
      L" within 5000 ms";
  for (const Query& query : kQueries) {
    SCOPED_TRACE(query.name);
    host::clock::Reset();
    EXPECT_FALSE(query.run());
    EXPECT_EQ(host::clock::WaitsOf("select"), std::vector<DWORD>{NET_CONNECT_TIMEOUT_MS});
    EXPECT_EQ(host::clock::Now(), NET_CONNECT_TIMEOUT_MS);
    EXPECT_EQ(host::sockets::StartCount(), 0);
    EXPECT_EQ(host::sockets::OpenSocketCount(), 0);
  }
  EXPECT_EQ(testing_support::TraceCount(line), 3);
  EXPECT_EQ(host::CallCount("send"), 0);
}

TEST(NetworkChannel, OtherSocketLibraryVersionFailsEveryOperationWithoutASocket) {
  PrinterOnLoopback printer;
  printer.LoadContext();
  host::sockets::SetGrantedVersion(MAKEWORD(2, 2));
  EXPECT_EQ(NetStartup(), 1);
  for (const Query& query : kQueries) EXPECT_FALSE(query.run()) << query.name;
  EXPECT_EQ(host::CallCount("socket"), 0);
  EXPECT_EQ(host::CallCount("WSAStartup"), 4);
  EXPECT_EQ(host::CallCount("WSACleanup"), 4);
  EXPECT_TRUE(printer.printer().Commands().empty());
}

TEST(NetworkChannel, StartupErrorIsReturnedWithNothingToRelease) {
  host::FailCallAlways("WSAStartup", WSASYSNOTREADY);
  EXPECT_EQ(NetStartup(), WSASYSNOTREADY);
  PrinterOnLoopback printer;
  printer.LoadContext();
  for (const Query& query : kQueries) EXPECT_FALSE(query.run()) << query.name;
  EXPECT_EQ(host::CallCount("WSACleanup"), 0);
  EXPECT_EQ(host::CallCount("socket"), 0);
}

TEST(NetworkChannel, FailedStepsOfTheConnectionSequenceReleaseEverything) {
  for (const char* api : {"socket", "setsockopt", "ioctlsocket", "connect", "select", "getsockopt"}) {
    for (const Query& query : kQueries) {
      SCOPED_TRACE(std::string(api) + ", " + query.name);
      testing_support::NextCase(std::string(api) + ", " + query.name);
      PrinterOnLoopback printer;
      printer.LoadContext();
      host::FailCall(api, WSAENOBUFS);
      EXPECT_FALSE(query.run());
      EXPECT_EQ(host::sockets::StartCount(), 0);
      EXPECT_EQ(host::sockets::OpenSocketCount(), 0);
      EXPECT_EQ(host::CallCount("closesocket"), std::string(api) == "socket" ? 0 : 1);
      EXPECT_EQ(host::CallCount("send"), 0);
    }
  }
}

TEST(NetworkChannel, NoPrinterOrAHostNameFailsTheConnection) {
  InitGlobals(CONNECTION_NETWORK, nullptr, nullptr, L"127.63.0.1");  // nothing listens
  for (const Query& query : kQueries) EXPECT_FALSE(query.run()) << query.name;
  InitGlobals(CONNECTION_NETWORK, nullptr, nullptr, L"printer.example");
  for (const Query& query : kQueries) EXPECT_FALSE(query.run()) << query.name;
  EXPECT_EQ(host::CallCount("send"), 0);
}

TEST(NetworkChannel, EverySendMustComplete) {
  // Sends: UEL, ENTER LANGUAGE, command, closing UEL. The last one failing after a good
  // reply fails the query as surely as the first.
  for (int failing = 0; failing < 4; ++failing) {
    for (const Query& query : kQueries) {
      SCOPED_TRACE(std::string(query.name) + ", send " + std::to_string(failing));
      testing_support::NextCase(std::string(query.name) + ", send " + std::to_string(failing));
      PrinterOnLoopback printer;
      printer.LoadContext();
      host::FailCall("send", WSAECONNRESET, 1, failing);
      EXPECT_FALSE(query.run());
      EXPECT_EQ(host::CallCount("send"), failing + 1);
      EXPECT_EQ(host::sockets::StartCount(), 0);
      EXPECT_EQ(host::sockets::OpenSocketCount(), 0);
    }
  }
}

TEST(NetworkChannel, FailedPayloadReceiveWritesNothing) {
  for (const Query& query : {kQueries[1], kQueries[2]}) {
    SCOPED_TRACE(query.name);
    testing_support::NextCase(query.name);
    PrinterOnLoopback printer;
    printer.LoadContext();
    host::FailCall("recv", WSAECONNRESET, 1, 1);
    OutBuffer out;
    bool ok = query.code == 6 ? NetGet1284String(out.data() + 1) == 1 : NetBuildInfo(out.data() + 1) == 1;
    EXPECT_FALSE(ok);
    EXPECT_EQ(out.bytes[0], '#');  // the byte before out
    EXPECT_EQ(host::CallCount("send"), 3);  // no closing UEL after a failed step
  }
}

}  // namespace
