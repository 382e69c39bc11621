// The three network queries against the printer-server program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/network_channel.h"
#include "host/clock.h"
#include "printer/server_process.h"

namespace {

using simprinter::ServerProcess;

TEST(PrinterServerProgram, AnswersTheNetworkQueriesAndLogsThem) {
  ServerProcess server({"--address", "127.64.0.1", "--version", "216", "--culture", "ASIAN", "--fw", "A1, B2, C3"});
  ASSERT_TRUE(server.Running());
  EXPECT_NE(server.FirstLine().find("127.64.0.1:9100"), std::string::npos) << server.FirstLine();
  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, nullptr, nullptr, L"127.64.0.1"), 1);

  EXPECT_EQ(NetGetVersion(), 216);
  char out[NET_INFO_BUFFER_SIZE];
  ASSERT_EQ(NetGet1284String(out), 1);
  EXPECT_NE(std::string(out).find("MDL:TV Vexline Q5530n MFP;"), std::string::npos) << out;
  ASSERT_EQ(NetBuildInfo(out), 1);
  EXPECT_STREQ(out, "FW:A1, B2, C3; PANEL: ASIAN;");

  int exitCode;
  std::string log = server.Stop(&exitCode);
  EXPECT_EQ(exitCode, 0);
  EXPECT_NE(log.find("command 0x01 GET_VERSION\ncommand 0x06 GET_DEVICE_ID\ncommand 0x13 GET_BUILD_INFO\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("stopped (3 connections)"), std::string::npos) << log;
}

TEST(PrinterServerProgram, FaultOptionsApplyToTheChosenCommand) {
  ServerProcess server({"--address", "127.64.0.2", "--fault-command", "19", "--status", "2"});
  ASSERT_TRUE(server.Running());
  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, nullptr, nullptr, L"127.64.0.2"), 1);
  char out[NET_INFO_BUFFER_SIZE];
  EXPECT_EQ(NetBuildInfo(out), 0);
  EXPECT_EQ(NetGetVersion(), 215);
}

// The two faults of how a connection is taken: a printer that stops reading after 20 bytes never
// sees the whole query and so never answers it; one that accepts nothing is never connected to.
TEST(PrinterServerProgram, ReadingFaultsEndTheQueryAtItsBounds) {
  struct Case {
    std::vector<std::string> arguments;
    const char* wait;
    DWORD milliseconds;
    const char* logged;
  } cases[] = {
      {{"--address", "127.64.0.3", "--stall-after", "20"}, "recv", NET_VERSION_TIMEOUT_MS,
       "reading stopped after 20 received bytes"},
      {{"--address", "127.64.0.4", "--never-accept"}, "select", NET_CONNECT_TIMEOUT_MS, "stopped (0 connections)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    host::clock::Reset();
    ServerProcess server(c.arguments);
    ASSERT_TRUE(server.Running());
    std::wstring address(c.arguments[1].begin(), c.arguments[1].end());
    ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, nullptr, nullptr, address.c_str()), 1);
    EXPECT_EQ(NetGetVersion(), 0);
    EXPECT_EQ(host::clock::WaitsOf(c.wait), std::vector<DWORD>{c.milliseconds});
    int exitCode;
    std::string log = server.Stop(&exitCode);
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
  }
}

TEST(PrinterServerProgram, RefusesBadOptions) {
  for (auto arguments : {std::vector<std::string>{"--port", "70000"}, {"--version", "x"}, {"--split", "4,0"}, {"--bogus", "1"}}) {
    ServerProcess server(arguments);
    EXPECT_FALSE(server.Running()) << arguments[0];
    int exitCode;
    server.Stop(&exitCode);
    EXPECT_EQ(exitCode, 2) << arguments[0];
  }
}

}  // namespace
