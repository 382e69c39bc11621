// Windows Sockets on real loopback TCP sockets. Socket values come from a table of their own,
// so that the accounting can list what is open and a closed value is never reused by the OS
// behind the program's back.
#include "winhost/winsock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "handle_table.h"
#include "host/clock.h"
#include "host/machine.h"
#include "host/sockets.h"
#include "internal.h"
#include "loopback_tcp.h"
#include "winhost/kernel.h"

namespace host {
namespace sockets {
namespace {

constexpr WORD kHighestVersion = MAKEWORD(2, 2);
constexpr SOCKET kFirstSocket = 0x10000;

struct Socket {
  int fd = -1;
  bool connected = false;
  DWORD receiveTimeout = 0;  // milliseconds; 0 waits without limit
  ULONG peer = 0;            // network byte order
  u_short port = 0;          // network byte order
};

struct SocketState {
  std::mutex lock;
  HandleTable<Socket> sockets{"socket", kFirstSocket, 4};
  int starts = 0;
  WORD grantedVersion = 0;
  std::vector<DWORD> receiveTimeouts;
  std::chrono::milliseconds minimumRealWait{1000};
};

SocketState& State() {
  static SocketState* state = new SocketState;
  return *state;
}

void CloseAllLocked() {
  State().sockets.ForEach([](uintptr_t, Socket& socket) { tcp::Close(socket.fd); });
  State().sockets.Clear(true);
}

std::string AddressText(ULONG address, u_short port) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  const auto* p = reinterpret_cast<const unsigned char*>(&port);
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", b[0], b[1], b[2], b[3], (p[0] << 8) | p[1]);
  return text;
}

std::vector<std::string> ListOpen() {
  std::lock_guard<std::mutex> guard(State().lock);
  std::vector<std::string> open = State().sockets.List([](const Socket& socket) {
    return socket.connected ? "(connected to " + AddressText(socket.peer, socket.port) + ")" : "(not connected)";
  });
  if (State().starts > 0) open.push_back(std::to_string(State().starts) + " WSAStartup without WSACleanup");
  return open;
}

void Reset() {
  std::lock_guard<std::mutex> guard(State().lock);
  CloseAllLocked();
  State().starts = 0;
  State().grantedVersion = 0;
  State().receiveTimeouts.clear();
  State().minimumRealWait = std::chrono::milliseconds(1000);
}

const bool g_registered = [] {
  RegisterArea(Area{"sockets", Reset, ListOpen});
  return true;
}();

int WsaErrorOf(int error) {
  switch (error) {
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ECONNRESET: case EPIPE: return WSAECONNRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ENETUNREACH: return WSAENETUNREACH;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case EMFILE: case ENFILE: return WSAEMFILE;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    default: return WSAENETDOWN;
  }
}

// Checks that the library runs and `s` is one of its sockets; sets the error when not.
bool Usable(SOCKET s, Socket* copy) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (State().starts == 0) {
    SetLastError(WSANOTINITIALISED);
    return false;
  }
  Socket* socket = State().sockets.Find(s);
  if (!socket) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  if (copy) *copy = *socket;
  return true;
}

// Checks a send or receive: a connected socket and a buffer of a sane length.
bool ReadyToTransfer(SOCKET s, const void* buf, int len, Socket* socket) {
  if (!Usable(s, socket)) return false;
  if (!socket->connected) {
    SetLastError(WSAENOTCONN);
    return false;
  }
  if (len < 0 || (!buf && len > 0)) {
    SetLastError(WSAEFAULT);
    return false;
  }
  return true;
}

bool IsLoopback(ULONG address) { return (reinterpret_cast<const unsigned char*>(&address))[0] == 127; }

}  // namespace

void SetGrantedVersion(WORD version) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().grantedVersion = version;
}

int StartCount() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().starts;
}

int OpenSocketCount() {
  std::lock_guard<std::mutex> guard(State().lock);
  return static_cast<int>(State().sockets.Size());
}

std::vector<DWORD> ReceiveTimeouts() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().receiveTimeouts;
}

void SetMinimumRealWait(std::chrono::milliseconds floor) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().minimumRealWait = floor;
}

}  // namespace sockets
}  // namespace host

using host::sockets::State;

int WINAPI WSAStartup(WORD versionRequested, LPWSADATA data) {
  // WSAStartup reports its error as its result, not through WSAGetLastError.
  DWORD fault = 0;
  if (host::CallFails("WSAStartup", &fault)) return static_cast<int>(fault);
  if (!data) return WSAEFAULT;
  if (LOBYTE(versionRequested) < 1) return WSAVERNOTSUPPORTED;
  std::lock_guard<std::mutex> guard(State().lock);
  WORD granted = State().grantedVersion;
  if (granted == 0) {
    bool above = LOBYTE(versionRequested) > 2 || (LOBYTE(versionRequested) == 2 && HIBYTE(versionRequested) > 2);
    granted = above ? host::sockets::kHighestVersion : versionRequested;
  }
  std::memset(data, 0, sizeof *data);
  data->wVersion = granted;
  data->wHighVersion = host::sockets::kHighestVersion;
  std::snprintf(data->szDescription, sizeof data->szDescription, "WinSock 2.0");
  std::snprintf(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
  ++State().starts;
  return 0;
}

int WINAPI WSACleanup() {
  HOST_ENTER("WSACleanup", SOCKET_ERROR);
  std::lock_guard<std::mutex> guard(State().lock);
  if (State().starts == 0) {
    SetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  // The last cleanup resets the sockets still open, as if closesocket had been called.
  if (--State().starts == 0) host::sockets::CloseAllLocked();
  return 0;
}

int WINAPI WSAGetLastError() { return static_cast<int>(GetLastError()); }

void WINAPI WSASetLastError(int error) { SetLastError(static_cast<DWORD>(error)); }

SOCKET WINAPI socket(int af, int type, int protocol) {
  HOST_ENTER("socket", INVALID_SOCKET);
  {
    std::lock_guard<std::mutex> guard(State().lock);
    if (State().starts == 0) {
      SetLastError(WSANOTINITIALISED);
      return INVALID_SOCKET;
    }
  }
  if (af != AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  if (type != SOCK_STREAM) {
    SetLastError(WSAESOCKTNOSUPPORT);
    return INVALID_SOCKET;
  }
  if (protocol != 0 && protocol != IPPROTO_TCP) {
    SetLastError(WSAEPROTONOSUPPORT);
    return INVALID_SOCKET;
  }
  int error = 0;
  int fd = host::tcp::Open(&error);
  if (fd < 0) {
    SetLastError(host::sockets::WsaErrorOf(error));
    return INVALID_SOCKET;
  }
  std::lock_guard<std::mutex> guard(State().lock);
  host::sockets::Socket opened;
  opened.fd = fd;
  SOCKET value = State().sockets.Add(opened);
  SetLastError(0);
  return value;
}

int WINAPI closesocket(SOCKET s) {
  HOST_ENTER("closesocket", SOCKET_ERROR);
  std::lock_guard<std::mutex> guard(State().lock);
  if (State().starts == 0) {
    SetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  host::sockets::Socket socket;
  if (!State().sockets.Remove(s, &socket)) {
    SetLastError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  host::tcp::Close(socket.fd);
  return 0;
}

int WINAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  HOST_ENTER("setsockopt", SOCKET_ERROR);
  if (!host::sockets::Usable(s, nullptr)) return SOCKET_ERROR;
  if (level != SOL_SOCKET || (optname != SO_RCVTIMEO && optname != SO_SNDTIMEO)) {
    SetLastError(WSAENOPROTOOPT);
    return SOCKET_ERROR;
  }
  if (!optval || optlen < static_cast<int>(sizeof(DWORD))) {
    SetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  DWORD milliseconds;
  std::memcpy(&milliseconds, optval, sizeof milliseconds);
  std::lock_guard<std::mutex> guard(State().lock);
  if (optname == SO_RCVTIMEO) {
    if (host::sockets::Socket* socket = State().sockets.Find(s)) socket->receiveTimeout = milliseconds;
    State().receiveTimeouts.push_back(milliseconds);
  }
  // A send never waits long on loopback, so the send time-out is accepted and not modelled.
  return 0;
}

int WINAPI connect(SOCKET s, const struct sockaddr* name, int namelen) {
  HOST_ENTER("connect", SOCKET_ERROR);
  host::sockets::Socket socket;
  if (!host::sockets::Usable(s, &socket)) return SOCKET_ERROR;
  if (!name || namelen < static_cast<int>(sizeof(sockaddr_in))) {
    SetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  if (socket.connected) {
    SetLastError(WSAEISCONN);
    return SOCKET_ERROR;
  }
  sockaddr_in peer;
  std::memcpy(&peer, name, sizeof peer);
  if (peer.sin_family != AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return SOCKET_ERROR;
  }
  if (peer.sin_addr.s_addr == INADDR_ANY || peer.sin_port == 0) {
    SetLastError(WSAEADDRNOTAVAIL);
    return SOCKET_ERROR;
  }
  if (!host::sockets::IsLoopback(peer.sin_addr.s_addr)) {
    SetLastError(WSAENETUNREACH);
    return SOCKET_ERROR;
  }
  int error = host::tcp::Connect(socket.fd, peer.sin_addr.s_addr, peer.sin_port);
  if (error != 0) {
    SetLastError(host::sockets::WsaErrorOf(error));
    return SOCKET_ERROR;
  }
  std::lock_guard<std::mutex> guard(State().lock);
  if (host::sockets::Socket* open = State().sockets.Find(s)) {
    open->connected = true;
    open->peer = peer.sin_addr.s_addr;
    open->port = peer.sin_port;
  }
  return 0;
}

int WINAPI send(SOCKET s, const char* buf, int len, int flags) {
  HOST_ENTER("send", SOCKET_ERROR);
  host::sockets::Socket socket;
  if (!host::sockets::ReadyToTransfer(s, buf, len, &socket)) return SOCKET_ERROR;
  int error = 0;
  long sent = host::tcp::SendAll(socket.fd, buf, static_cast<size_t>(len), &error);
  if (sent < 0) {
    SetLastError(host::sockets::WsaErrorOf(error));
    return SOCKET_ERROR;
  }
  return static_cast<int>(sent);
}

int WINAPI recv(SOCKET s, char* buf, int len, int flags) {
  HOST_ENTER("recv", SOCKET_ERROR);
  host::sockets::Socket socket;
  if (!host::sockets::ReadyToTransfer(s, buf, len, &socket)) return SOCKET_ERROR;
  long long timeoutMicroseconds = -1;
  if (socket.receiveTimeout != 0) {
    auto real = host::clock::RealDuration(socket.receiveTimeout);
    std::chrono::microseconds floor;
    {
      std::lock_guard<std::mutex> guard(State().lock);
      floor = State().minimumRealWait;
    }
    timeoutMicroseconds = std::max(real, floor).count();
  }
  int error = 0;
  long received = host::tcp::Receive(socket.fd, buf, static_cast<size_t>(len), timeoutMicroseconds, &error);
  if (received == host::tcp::kTimedOut) {
    host::clock::RecordWait("recv", socket.receiveTimeout);
    host::clock::Advance(socket.receiveTimeout);
    SetLastError(WSAETIMEDOUT);
    return SOCKET_ERROR;
  }
  if (received < 0) {
    SetLastError(host::sockets::WsaErrorOf(error));
    return SOCKET_ERROR;
  }
  return static_cast<int>(received);
}

ULONG WINAPI inet_addr(const char* cp) {
  if (!cp) {
    SetLastError(WSAEFAULT);
    return INADDR_NONE;
  }
  // Documented: a single space converts to 0. Everything else follows the C library's dotted
  // forms, which end at white space as Windows' do.
  if (std::strcmp(cp, " ") == 0) return INADDR_ANY;
  uint32_t address = 0;
  if (!host::tcp::ParseIPv4(cp, &address)) return INADDR_NONE;
  return address;
}

u_short WINAPI htons(u_short hostshort) { return static_cast<u_short>((hostshort << 8) | (hostshort >> 8)); }
u_short WINAPI ntohs(u_short netshort) { return htons(netshort); }
ULONG WINAPI htonl(ULONG hostlong) { return __builtin_bswap32(hostlong); }
ULONG WINAPI ntohl(ULONG netlong) { return __builtin_bswap32(netlong); }
