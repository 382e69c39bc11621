// Windows Sockets start-up and clean-up as the program pairs them, the bounded connect and send
// of the network channel, and inet_addr on the address texts a printer's port can hold.
#include <cstring>
#include <string>

#include "conformance.h"

namespace {

using conformance::kPoison;
using conformance::LoopbackPeer;

// A start-up's result and what it reported, the poisoned start-up data left behind when it failed.
struct Startup {
  int result;
  WSADATA data;
};

Startup Start(WORD version) {
  Startup startup;
  std::memset(&startup.data, 0xAB, sizeof startup.data);
  startup.result = WSAStartup(version, &startup.data);
  return startup;
}

TEST(Winsock, StartupGrantsTheVersionAskedForUpTo22) {
  struct Case {
    WORD asked;
    WORD granted;
  } cases[] = {
      {MAKEWORD(1, 1), MAKEWORD(1, 1)},  // what the network channel asks for
      {MAKEWORD(2, 2), MAKEWORD(2, 2)},  // what the network service asks for
      {MAKEWORD(1, 0), MAKEWORD(1, 0)},
      {MAKEWORD(2, 5), MAKEWORD(2, 2)},
      {MAKEWORD(3, 0), MAKEWORD(2, 2)},
  };
  for (const Case& c : cases) {
    WSASetLastError(static_cast<int>(kPoison));
    Startup startup = Start(c.asked);
    ASSERT_EQ(startup.result, 0) << "asked 0x" << std::hex << c.asked;
    EXPECT_EQ(startup.data.wVersion, c.granted) << "asked 0x" << std::hex << c.asked;
    EXPECT_EQ(startup.data.wHighVersion, MAKEWORD(2, 2));
    EXPECT_EQ(WSAGetLastError(), static_cast<int>(kPoison));
    EXPECT_EQ(WSACleanup(), 0);
  }
}

TEST(Winsock, StartupRefusalsAreItsResult) {
  // Below 1.0 there is no version; the error is the result, the last error is left alone.
  for (WORD asked : {MAKEWORD(0, 0), MAKEWORD(0, 2)}) {
    WSASetLastError(static_cast<int>(kPoison));
    EXPECT_EQ(Start(asked).result, WSAVERNOTSUPPORTED) << "asked 0x" << std::hex << asked;
    EXPECT_EQ(WSAGetLastError(), static_cast<int>(kPoison));
  }
  EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), nullptr), WSAEFAULT);
  // Nothing was started, so there is nothing to clean up and no socket to make.
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(Winsock, EveryStartupNeedsItsCleanup) {
  ASSERT_EQ(Start(MAKEWORD(2, 2)).result, 0);
  ASSERT_EQ(Start(MAKEWORD(1, 1)).result, 0);
  ASSERT_EQ(WSACleanup(), 0);
  // One start-up is still in force: sockets can be made.
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_NE(s, INVALID_SOCKET) << "error " << WSAGetLastError();
  EXPECT_EQ(closesocket(s), 0);
  ASSERT_EQ(WSACleanup(), 0);
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

// A started library for one case, cleaned up at its end.
class Sockets : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Start(MAKEWORD(1, 1)).result, 0); }
  void TearDown() override { EXPECT_EQ(WSACleanup(), 0); }
};

TEST_F(Sockets, UnconnectedSocketRefusesToReceive) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET) << "error " << WSAGetLastError();
  // The receive time-out takes a DWORD of milliseconds.
  DWORD timeout = 5000;
  EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout), 0);
  char byte = 0;
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
  EXPECT_EQ(closesocket(s), 0);
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(Sockets, UnconnectedSocketRefusesToSend) {
  // Documented for send: WSAENOTCONN, the socket is not connected.
  SKIP_WHERE_WINE_DIFFERS("send on an unconnected socket reports WSAECONNRESET (from the Linux EPIPE)");
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET) << "error " << WSAGetLastError();
  char byte = 0;
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(send(s, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
  EXPECT_EQ(closesocket(s), 0);
}

TEST_F(Sockets, ConnectionToAClosedPortIsRefused) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET) << "error " << WSAGetLastError();
  sockaddr_in peer = {};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(1);  // nothing listens on port 1 of the loopback address
  peer.sin_addr.s_addr = inet_addr("127.0.0.1");
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
  EXPECT_EQ(closesocket(s), 0);
}

// What a non-blocking connect came to after one select on its writable and exception sets.
struct ConnectOutcome {
  int connectError;
  int selected;
  bool writable;
  bool failed;
  int socketError;  // SO_ERROR afterwards
};

ConnectOutcome ConnectWithoutBlocking(SOCKET s, const sockaddr_in& peer, long seconds) {
  ConnectOutcome outcome = {};
  ULONG on = 1;
  EXPECT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer), SOCKET_ERROR);
  outcome.connectError = WSAGetLastError();
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_SET(s, &writable);
  FD_ZERO(&failed);
  FD_SET(s, &failed);
  timeval limit = {seconds, 0};
  outcome.selected = select(0, nullptr, &writable, &failed, &limit);
  outcome.writable = FD_ISSET(s, &writable) != 0;
  outcome.failed = FD_ISSET(s, &failed) != 0;
  int length = sizeof outcome.socketError;
  outcome.socketError = static_cast<int>(kPoison);
  EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&outcome.socketError), &length), 0);
  EXPECT_EQ(length, static_cast<int>(sizeof(int)));
  return outcome;
}

// A non-blocking connect always reports WSAEWOULDBLOCK; select then shows a finished connection
// as writable and a failed one in the exception set only (not as writable, as POSIX would), with
// the reason in SO_ERROR. A connect that is never answered leaves both sets empty when select
// times out.
TEST_F(Sockets, NonBlockingConnectEndsInSelect) {
  LoopbackPeer listening(conformance::PeerKind::kNeverReads);
  LoopbackPeer unanswering(conformance::PeerKind::kNeverAnswers);
  ASSERT_NE(listening.address().sin_port, 0);
  ASSERT_NE(unanswering.address().sin_port, 0);
  sockaddr_in closed = {};
  closed.sin_family = AF_INET;
  closed.sin_port = htons(1);  // nothing listens on port 1 of the loopback address
  closed.sin_addr.s_addr = inet_addr("127.0.0.1");
  struct Case {
    const char* name;
    sockaddr_in peer;
    long seconds;
    ConnectOutcome expected;
  } cases[] = {
      {"listening", listening.address(), 5, {WSAEWOULDBLOCK, 1, true, false, 0}},
      {"closed port", closed, 5, {WSAEWOULDBLOCK, 1, false, true, WSAECONNREFUSED}},
      {"never answered", unanswering.address(), 1, {WSAEWOULDBLOCK, 0, false, false, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(s, INVALID_SOCKET) << "error " << WSAGetLastError();
    ConnectOutcome outcome = ConnectWithoutBlocking(s, c.peer, c.seconds);
    EXPECT_EQ(outcome.connectError, c.expected.connectError);
    EXPECT_EQ(outcome.selected, c.expected.selected);
    EXPECT_EQ(outcome.writable, c.expected.writable);
    EXPECT_EQ(outcome.failed, c.expected.failed);
    EXPECT_EQ(outcome.socketError, c.expected.socketError);
    if (outcome.writable) {
      // Connected and still non-blocking: a receive with nothing there does not wait.
      char byte = 0;
      WSASetLastError(static_cast<int>(kPoison));
      EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR);
      EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    }
    EXPECT_EQ(closesocket(s), 0);
  }
  // Documented: select with no socket in any set is invalid.
  timeval limit = {1, 0};
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(select(0, nullptr, nullptr, nullptr, &limit), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

// A blocking send to a peer that stops reading returns only when everything is in the buffers:
// once they are full, SO_SNDTIMEO (a DWORD of milliseconds, read back as set) ends it with
// WSAETIMEDOUT.
TEST_F(Sockets, SendToAPeerThatStopsReadingEndsWithTheSendTimeOut) {
  LoopbackPeer peer(conformance::PeerKind::kNeverReads);
  ASSERT_NE(peer.address().sin_port, 0);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET) << "error " << WSAGetLastError();
  ASSERT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer.address()), sizeof(sockaddr_in)), 0)
      << "error " << WSAGetLastError();
  DWORD timeout = 1000;
  EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout), 0);
  DWORD readBack = kPoison;
  int length = sizeof readBack;
  EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&readBack), &length), 0);
  EXPECT_EQ(readBack, 1000u);
  EXPECT_EQ(length, static_cast<int>(sizeof(DWORD)));
  const std::string data(16 << 20, 'x');  // far more than any socket buffers hold
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(send(s, data.data(), static_cast<int>(data.size()), 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  EXPECT_EQ(closesocket(s), 0);
}

// A non-blocking send takes what the buffers hold, then fails with WSAEWOULDBLOCK; select shows
// the socket writable again only while data still drains into the peer's buffers, and once the
// peer's buffers are full as well, it times out.
TEST_F(Sockets, NonBlockingSendToAPeerThatStopsReadingWaitsInSelect) {
  LoopbackPeer peer(conformance::PeerKind::kNeverReads);
  ASSERT_NE(peer.address().sin_port, 0);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET) << "error " << WSAGetLastError();
  ASSERT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&peer.address()), sizeof(sockaddr_in)), 0)
      << "error " << WSAGetLastError();
  ULONG on = 1;
  ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
  const std::string data(1 << 20, 'x');
  long long taken = 0;
  int selected = -1;
  for (int round = 0; round < 64 && selected != 0; ++round) {
    int sent = 0;
    for (int call = 0; call < 256; ++call) {  // 256 MiB: far more than any buffers hold
      WSASetLastError(static_cast<int>(kPoison));
      sent = send(s, data.data(), static_cast<int>(data.size()), 0);
      if (sent == SOCKET_ERROR) break;
      EXPECT_GT(sent, 0);
      taken += sent;
    }
    ASSERT_EQ(sent, SOCKET_ERROR);
    ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(s, &writable);
    timeval limit = {1, 0};
    selected = select(0, nullptr, &writable, nullptr, &limit);
    EXPECT_EQ(selected, static_cast<int>(writable.fd_count));
  }
  EXPECT_EQ(selected, 0);
  EXPECT_GT(taken, 0);
  EXPECT_EQ(closesocket(s), 0);
}

// inet_addr's result in network byte order: the bytes a.b.c.d in memory order.
ULONG Address(unsigned a, unsigned b, unsigned c, unsigned d) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                  static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
  ULONG value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

TEST(Winsock, InetAddrOnAddressTexts) {
  struct Case {
    const char* text;
    ULONG address;
  } cases[] = {
      // Valid dotted addresses, including the short and the octal and hexadecimal forms.
      {"192.168.1.10", Address(192, 168, 1, 10)},
      {"127.0.0.1", Address(127, 0, 0, 1)},
      {"0.0.0.0", Address(0, 0, 0, 0)},
      {"10.1", Address(10, 0, 0, 1)},
      {"1.2.3", Address(1, 2, 0, 3)},
      {"010.1.1.1", Address(8, 1, 1, 1)},
      {"0x7f.1", Address(127, 0, 0, 1)},
      // A port is not part of the address.
      {"192.168.1.10:9100", INADDR_NONE},
      // Blanks: the text may end at white space, but not start with it. Documented: a single
      // space converts to 0 (INADDR_ANY); two do not.
      {"192.168.1.10 ", Address(192, 168, 1, 10)},
      {"192.168.1.10\t", Address(192, 168, 1, 10)},
      {"192.168.1.10 9100", Address(192, 168, 1, 10)},
      {" 192.168.1.10", INADDR_NONE},
      {"192.168. 1.10", INADDR_NONE},
      {" ", Address(0, 0, 0, 0)},
      {"  ", INADDR_NONE},
      {"\t", INADDR_NONE},
      {"", INADDR_NONE},
      // Out of range, too many parts, digits of the wrong base, names and IPv6.
      {"192.168.1.256", INADDR_NONE},
      {"256.1.1.1", INADDR_NONE},
      {"1.2.65536", INADDR_NONE},
      {"4294967296", INADDR_NONE},
      {"1.2.3.4.5", INADDR_NONE},
      {"08.1.1.1", INADDR_NONE},
      {"192.168.1.0x", INADDR_NONE},
      {"printer", INADDR_NONE},
      {"::1", INADDR_NONE},
      {"[192.168.1.10]", INADDR_NONE},
      // The one address whose value is INADDR_NONE itself.
      {"255.255.255.255", INADDR_NONE},
  };
  for (const Case& c : cases) {
    WSASetLastError(static_cast<int>(kPoison));
    EXPECT_EQ(inet_addr(c.text), c.address) << "\"" << c.text << "\"";
    EXPECT_EQ(WSAGetLastError(), static_cast<int>(kPoison)) << "\"" << c.text << "\"";
  }
  // No text at all is a bad pointer (Windows, as Wine's socket tests record it).
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

}  // namespace
