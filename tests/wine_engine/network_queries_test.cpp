// The network channel and the facade's queries on Wine's Windows Sockets, against printer-server.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
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

// An `out` buffer of the information queries, filled with '#' so that a missing terminator shows.
struct InfoBuffer {
  char bytes[NET_INFO_BUFFER_SIZE];
  InfoBuffer() { std::memset(bytes, '#', sizeof bytes); }
  bool Terminated() const { return std::memchr(bytes, '\0', sizeof bytes) != nullptr; }
};

void LoadNetworkPrinter(const std::wstring& address) {
  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, kDeviceMatch, nullptr, address.c_str()), 1);
}

// The device ID payload starts with its big-endian length, which counts its own two bytes; the
// channel's text starts at the payload's second byte, the length's low byte.
std::string DeviceIdAsReceived(const std::string& text) {
  return std::string(1, static_cast<char>((text.size() + 2) & 0xFF)) + text;
}

TEST(NetworkQueries, ChannelReadsThePrintersValues) {
  LoadNetworkPrinter(Settings().queryPrinter);
  EXPECT_EQ(NetGetVersion(), Settings().printerVersion);

  InfoBuffer id;
  ASSERT_EQ(NetGet1284String(id.bytes), 1);
  ASSERT_TRUE(id.Terminated());
  EXPECT_EQ(std::string(id.bytes), DeviceIdAsReceived(Settings().deviceId));

  InfoBuffer info;
  ASSERT_EQ(NetBuildInfo(info.bytes), 1);
  ASSERT_TRUE(info.Terminated());
  EXPECT_EQ(std::string(info.bytes), Settings().buildInfo);
  ExpectSocketLibraryReleased();
}

TEST(NetworkQueries, FacadeReadsThePrintersValues) {
  const wchar_t* address = Settings().queryPrinter.c_str();
  InfoBuffer id;
  ASSERT_EQ(Get1284String(id.bytes, CONNECTION_NETWORK, kDeviceMatch, address), 1);
  EXPECT_EQ(std::string(id.bytes), DeviceIdAsReceived(Settings().deviceId));
  InfoBuffer info;
  ASSERT_EQ(BuildInfo(info.bytes, CONNECTION_NETWORK, kDeviceMatch, address), 1);
  EXPECT_EQ(std::string(info.bytes), Settings().buildInfo);
  char version[FACADE_VERSION_BUFFER_SIZE];
  ASSERT_EQ(GetVersionString(version, CONNECTION_NETWORK, kDeviceMatch, address), 1);
  EXPECT_EQ(std::string(version), std::to_string(Settings().printerVersion));
  ExpectSocketLibraryReleased();
}

// The decision reads the image on Wine's file system (the Z: drive) and asks the printer; this
// printer is never burned, so its version stays the one it started with.
TEST(NetworkQueries, DownloadDecisionComparesImageAndPrinter) {
  ASSERT_LT(Settings().olderImageVersion, Settings().printerVersion);
  ASSERT_GT(Settings().imageVersion, Settings().printerVersion);
  const wchar_t* address = Settings().queryPrinter.c_str();
  EXPECT_EQ(DownloadRequired(CONNECTION_NETWORK, kDeviceMatch, ImagePath(L"older.bin").c_str(), address), 0);
  EXPECT_EQ(DownloadRequired(CONNECTION_NETWORK, kDeviceMatch, ImagePath(L"TVQ5530n.bin").c_str(), address), 1);
  EXPECT_EQ(DownloadRequired(CONNECTION_NETWORK, kDeviceMatch, ImagePath(L"missing.bin").c_str(), address), -1);
  ExpectSocketLibraryReleased();
}

// A printer that never answers the connection (its accept queue full): Wine on Linux would wait
// about two minutes for the handshake; the channel gives up after its 5 s.
TEST(NetworkQueries, UnansweredConnectionFailsAfterTheConnectBound) {
  LoadNetworkPrinter(Settings().unansweredAddress);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(NetGetVersion(), 0);
  const ULONGLONG elapsed = GetTickCount64() - start;
  std::printf("the version query of the printer that never answers failed after %llu ms\n", elapsed);
  EXPECT_GE(elapsed, NET_CONNECT_TIMEOUT_MS - 50u);
  EXPECT_LT(elapsed, NET_CONNECT_TIMEOUT_MS + 2000u);
  ExpectSocketLibraryReleased();
}

// Nothing listens at the address: Wine refuses the connection at once (no wait for the receive
// time-out), every query fails and the socket library is released all the same.
TEST(NetworkQueries, RefusedConnectionFailsEveryQuery) {
  LoadNetworkPrinter(Settings().refusedAddress);
  const ULONGLONG start = GetTickCount64();
  {
    NetConnection connection(NET_VERSION_TIMEOUT_MS);
    EXPECT_EQ(connection.StartupResult(), 0);
    EXPECT_FALSE(connection.Connected());
    char byte = 0;
    EXPECT_FALSE(connection.Send(&byte, 1));
    EXPECT_EQ(connection.Receive(&byte, 1), -1);
  }
  EXPECT_EQ(NetGetVersion(), 0);
  InfoBuffer id;
  EXPECT_EQ(NetGet1284String(id.bytes), 0);
  EXPECT_EQ(id.bytes[0], '#');  // untouched
  InfoBuffer info;
  EXPECT_EQ(NetBuildInfo(info.bytes), 0);
  EXPECT_EQ(info.bytes[0], '#');

  const wchar_t* address = Settings().refusedAddress.c_str();
  char version[FACADE_VERSION_BUFFER_SIZE];
  ASSERT_EQ(GetVersionString(version, CONNECTION_NETWORK, kDeviceMatch, address), 1);
  EXPECT_STREQ(version, "Unknown");
  EXPECT_EQ(Get1284String(id.bytes, CONNECTION_NETWORK, kDeviceMatch, address), 0);
  EXPECT_STREQ(id.bytes, "");
  // A printer that cannot be asked never asks for a download.
  EXPECT_EQ(DownloadRequired(CONNECTION_NETWORK, kDeviceMatch, ImagePath(L"TVQ5530n.bin").c_str(), address), 0);
  EXPECT_LT(GetTickCount64() - start, static_cast<ULONGLONG>(NET_VERSION_TIMEOUT_MS));
  ExpectSocketLibraryReleased();
}

}  // namespace
