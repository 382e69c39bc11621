// The host's Windows Sockets, checked against documented Winsock behaviour: results and
// WSAGetLastError codes separately, start-up counting, time-outs on the host clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "host/clock.h"
#include "host/machine.h"
#include "host/sockets.h"
#include "platform/win32.h"
#include "printer_on_loopback.h"

namespace {

constexpr int kPoison = 0xBAD;

SOCKET ConnectedSocket(const std::string& address, DWORD receiveTimeout) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeout), sizeof receiveTimeout), 0);
  sockaddr_in peer = {};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(9100);
  peer.sin_addr.s_addr = inet_addr(address.c_str());
  EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer), 0);
  return s;
}

TEST(HostSockets, StartupGrantsTheVersionAskedForUpTo22) {
  WSADATA data;
  std::memset(&data, 0xCC, sizeof data);
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
  EXPECT_EQ(data.wHighVersion, MAKEWORD(2, 2));
  ASSERT_EQ(WSAStartup(MAKEWORD(3, 0), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
  EXPECT_EQ(WSAStartup(MAKEWORD(0, 9), &data), WSAVERNOTSUPPORTED);
  EXPECT_EQ(host::sockets::StartCount(), 2);

  host::sockets::SetGrantedVersion(MAKEWORD(2, 0));
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(2, 0));
  EXPECT_EQ(host::sockets::StartCount(), 3);

  for (int i = 0; i < 3; ++i) EXPECT_EQ(WSACleanup(), 0);
  WSASetLastError(kPoison);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(HostSockets, NothingWorksBeforeStartup) {
  WSASetLastError(kPoison);
  EXPECT_EQ(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  // A failed start-up is reported as the result and needs no cleanup.
  host::FailCall("WSAStartup", WSASYSNOTREADY);
  WSADATA data;
  EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), &data), WSASYSNOTREADY);
  EXPECT_EQ(host::sockets::StartCount(), 0);
}

TEST(HostSockets, OptionsAndConnectRefuseBadArguments) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET);

  DWORD timeout = 8000;
  WSASetLastError(kPoison);
  EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), 2), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(setsockopt(s, SOL_SOCKET, 0x7777, reinterpret_cast<const char*>(&timeout), 4), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
  EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), 4), 0);
  EXPECT_EQ(host::sockets::ReceiveTimeouts(), std::vector<DWORD>{8000});

  sockaddr_in peer = {};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(9100);
  peer.sin_addr.s_addr = inet_addr("127.62.0.1");  // nothing listens there
  EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
  peer.sin_addr.s_addr = INADDR_ANY;
  EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
  peer.sin_addr.s_addr = inet_addr("192.0.2.1");  // the simulated machine has only loopback
  EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH);
  EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer - 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);

  char byte;
  EXPECT_EQ(send(s, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
  EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);

  EXPECT_EQ(closesocket(s), 0);
  EXPECT_EQ(closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(WSACleanup(), 0);
}

TEST(HostSockets, OpenSocketsAndStartupsCountAsLeaksUntilTheLastCleanup) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  auto open = host::OpenResources();
  ASSERT_EQ(open.size(), 2u);
  EXPECT_NE(open[0].find("socket 0x"), std::string::npos);
  EXPECT_NE(open[1].find("2 WSAStartup without WSACleanup"), std::string::npos);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(host::sockets::OpenSocketCount(), 1);
  // The last cleanup resets what is still open, as Windows does.
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(host::sockets::OpenSocketCount(), 0);
  EXPECT_TRUE(host::OpenResources().empty());
}

// SO_RCVTIMEO on Windows is a DWORD of milliseconds (not a timeval), and a receive that times
// out fails with WSAETIMEDOUT; the time-out then counts on the host clock in full while the
// real wait stays short. The socket is unusable afterwards, as after a send time-out.
TEST(HostSockets, ReceiveTimeOutRunsOnTheHostClock) {
  testing_support::PrinterOnLoopback printer;
  simprinter::ReplyFaults silent;
  silent.silent = true;
  printer.printer().AddFault({0, 0, -1, silent});
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  SOCKET s = ConnectedSocket(printer.address(), 120000);
  host::sockets::SetMinimumRealWait(std::chrono::milliseconds(100));

  char buffer[16];
  auto before = host::clock::Now();
  auto start = std::chrono::steady_clock::now();
  WSASetLastError(kPoison);
  EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  EXPECT_EQ(host::clock::Now() - before, 120000u);
  EXPECT_EQ(host::clock::WaitsOf("recv"), std::vector<DWORD>{120000});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(send(s, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNABORTED);
  EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNABORTED);
  closesocket(s);
  // A receive of zero bytes on a blocking Windows socket waits for data like any other (it is
  // the "tell me when there is something" idiom), so it too runs into the time-out.
  s = ConnectedSocket(printer.address(), 120000);
  EXPECT_EQ(recv(s, buffer, 0, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  closesocket(s);
  WSACleanup();
}

// A send that finds the buffers full ends after SO_SNDTIMEO in full on the host clock; the
// connection is then unusable, as Windows leaves it.
TEST(HostSockets, SendTimeOutRunsOnTheHostClockAndAbortsTheConnection) {
  testing_support::PrinterOnLoopback printer;
  simprinter::ReadFaults nothing;
  nothing.stallAfter = 0;
  printer.printer().SetReadFaults(nothing);
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  SOCKET s = ConnectedSocket(printer.address(), 8000);
  DWORD timeout = 20000;
  ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout), 0);
  const std::string image(4 << 20, 'x');
  WSASetLastError(kPoison);
  EXPECT_EQ(send(s, image.data(), static_cast<int>(image.size()), 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  EXPECT_EQ(host::clock::WaitsOf("send"), std::vector<DWORD>{20000});
  EXPECT_EQ(host::clock::Now(), 20000u);
  char byte = 0;
  EXPECT_EQ(send(s, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNABORTED);
  EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNABORTED);
  closesocket(s);
  WSACleanup();
}

// An endpoint that never answers: a blocking connect gives up after Windows' SYN retransmissions,
// 21 s of host clock; a select that would wait longer ends then too, the connect failed.
TEST(HostSockets, ConnectThatIsNeverAnsweredGivesUpAfter21Seconds) {
  testing_support::PrinterOnLoopback printer({}, true);
  sockaddr_in peer = {};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(9100);
  peer.sin_addr.s_addr = inet_addr(printer.address().c_str());
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);

  SOCKET blocking = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  WSASetLastError(kPoison);
  EXPECT_EQ(connect(blocking, reinterpret_cast<const sockaddr*>(&peer), sizeof peer), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  EXPECT_EQ(host::clock::WaitsOf("connect"), std::vector<DWORD>{21000});
  closesocket(blocking);

  host::clock::Reset();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ULONG on = 1;
  ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
  EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEALREADY);
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_SET(s, &writable);
  FD_ZERO(&failed);
  FD_SET(s, &failed);
  timeval limit = {30, 0};
  EXPECT_EQ(select(0, nullptr, &writable, &failed, &limit), 1);
  EXPECT_EQ(writable.fd_count, 0u);
  EXPECT_TRUE(FD_ISSET(s, &failed));
  EXPECT_EQ(host::clock::WaitsOf("select"), std::vector<DWORD>{21000});
  int error = 0;
  int length = sizeof error;
  EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length), 0);
  EXPECT_EQ(error, WSAETIMEDOUT);
  closesocket(s);
  WSACleanup();
}

TEST(HostSockets, SendAndReceiveOverLoopback) {
  testing_support::PrinterOnLoopback printer;
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  SOCKET s = ConnectedSocket(printer.address(), 8000);
  std::string query = std::string("\x1B%-12345X@PJL ENTER LANGUAGE=ACL\r\n") + std::string("\0\xAC\0\x01", 4) +
                      std::string(12, '\0');
  EXPECT_EQ(send(s, query.data(), static_cast<int>(query.size()), 0), static_cast<int>(query.size()));
  char reply[32];
  EXPECT_EQ(recv(s, reply, sizeof reply, 0), 16);  // what arrived, up to the length asked
  EXPECT_EQ(std::string(reply + 6, 8), "00000215");
  EXPECT_TRUE(host::clock::WaitsOf("recv").empty());
  closesocket(s);
  WSACleanup();
}

TEST(HostSockets, AddressTextAndByteOrder) {
  // inet_addr gives network byte order and takes the shorter forms of the BSD parser too.
  EXPECT_EQ(inet_addr("127.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(inet_addr("127.1"), htonl(0x7F000001));
  EXPECT_EQ(inet_addr("0x7f.0.0.010"), htonl(0x7F000008));
  EXPECT_EQ(inet_addr("10.1.2.3"), htonl(0x0A010203));
  EXPECT_EQ(inet_addr("256.1.1.1"), INADDR_NONE);
  EXPECT_EQ(inet_addr("printer.example"), INADDR_NONE);
  EXPECT_EQ(inet_addr(""), INADDR_NONE);
  EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);
  EXPECT_EQ(htons(9100), 0x8C23);
  EXPECT_EQ(ntohs(0x8C23), 9100);
}

}  // namespace
