// Windows Sockets on real loopback TCP sockets. Socket values come from a table of their own,
// so that the accounting can list what is open and a closed value is never reused by the OS
// behind the program's back.
#include "winhost/winsock.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "handle_table.h"
#include "host/clock.h"
#include "host/machine.h"
#include "host/sockets.h"
#include "internal.h"
#include "loopback_tcp.h"
#include "winsock_internal.h"
#include "winhost/kernel.h"

namespace host {
namespace sockets {
namespace {

constexpr WORD kHighestVersion = MAKEWORD(2, 2);
constexpr SOCKET kFirstSocket = 0x10000;
// Windows gives up a connect that gets no answer after its SYN retransmissions: three tries,
// 3 + 6 + 12 s.
constexpr DWORD kConnectGiveUpMs = 21000;

struct SocketState {
  std::mutex lock;
  HandleTable<Socket> sockets{"socket", kFirstSocket, 4};
  int starts = 0;
  WORD grantedVersion = 0;
  std::vector<DWORD> receiveTimeouts;
  std::vector<DWORD> sendTimeouts;
  std::optional<size_t> stallAfter;
  std::vector<PeerPause> pauses;
  long long sendCalls = 0;
  long long shortenCall = -1;  // the send call (by sendCalls) that takes half
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
    return socket.link == Link::kConnected ? "(connected to " + AddressText(socket.peer, socket.port) + ")"
                                           : "(not connected)";
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
  State().sendTimeouts.clear();
  State().stallAfter.reset();
  State().pauses.clear();
  State().sendCalls = 0;
  State().shortenCall = -1;
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

// Brings a connect in progress up to date: connected, failed (with its error), or given up.
void SettleLocked(Socket& socket) {
  if (socket.link != Link::kConnecting) return;
  std::vector<tcp::Readiness> entry{tcp::Readiness{socket.fd}};
  entry[0].wantWrite = true;
  if (tcp::Poll(&entry, 0) && entry[0].writable) {
    int error = tcp::PendingError(socket.fd);
    socket.link = error == 0 ? Link::kConnected : Link::kFailed;
    socket.pendingError = error == 0 ? 0 : WsaErrorOf(error);
  } else if (host::clock::Now() - socket.connectStarted >= kConnectGiveUpMs) {
    socket.link = Link::kFailed;
    socket.pendingError = WSAETIMEDOUT;
  }
}

// Runs `change` on the socket's entry, when it is still open.
template <typename Change>
void Update(SOCKET s, Change change) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (Socket* socket = State().sockets.Find(s)) change(*socket);
}

// Checks a send or receive: a connected socket and a buffer of a sane length.
bool ReadyToTransfer(SOCKET s, const void* buf, int len, Socket* socket) {
  if (!Usable(s, socket)) return false;
  if (socket->link != Link::kConnected) {
    SetLastError(WSAENOTCONN);
    return false;
  }
  if (socket->aborted) {
    SetLastError(WSAECONNABORTED);
    return false;
  }
  if (len < 0 || (!buf && len > 0)) {
    SetLastError(WSAEFAULT);
    return false;
  }
  return true;
}

bool IsLoopback(ULONG address) { return (reinterpret_cast<const unsigned char*>(&address))[0] == 127; }

// Starts the pauses of the table the socket's sends have reached.
void ReachPausesLocked(Socket& socket) {
  const std::vector<PeerPause>& pauses = State().pauses;
  while (socket.pauseIndex < pauses.size() && pauses[socket.pauseIndex].atByte <= socket.sent) {
    socket.pausedUntil = std::max(socket.pausedUntil, host::clock::Now() + pauses[socket.pauseIndex].pauseMs);
    ++socket.pauseIndex;
  }
}

// How many of `wanted` bytes the peer takes now, before it stalls or pauses; with 0, when it
// takes bytes again (host clock; 0: never).
size_t PeerRoomLocked(Socket& socket, size_t wanted, ULONGLONG* resumesAt) {
  ReachPausesLocked(socket);
  *resumesAt = 0;
  if (socket.pausedUntil > host::clock::Now()) {
    *resumesAt = socket.pausedUntil;
    return 0;
  }
  size_t room = wanted;
  if (State().stallAfter) room = std::min(room, *State().stallAfter - std::min(*State().stallAfter, socket.sent));
  if (socket.pauseIndex < State().pauses.size()) room = std::min(room, State().pauses[socket.pauseIndex].atByte - socket.sent);
  return room;
}

// A send that ran into its time-out `timeout` after starting at `started` (host clock): the
// clock stands at the end of the time-out, and the connection is unusable.
int SendTimedOut(SOCKET s, ULONGLONG started, DWORD timeout) {
  host::clock::RecordWait("send", timeout);
  ULONGLONG end = started + timeout;
  ULONGLONG now = host::clock::Now();
  if (end > now) host::clock::Advance(static_cast<DWORD>(end - now));
  Update(s, [](Socket& entry) { entry.aborted = true; });
  SetLastError(WSAETIMEDOUT);
  return SOCKET_ERROR;
}

}  // namespace

PeerView PeerOf(SOCKET s) {
  std::lock_guard<std::mutex> guard(State().lock);
  PeerView view;
  Socket* socket = State().sockets.Find(s);
  if (!socket || socket->link != Link::kConnected) return view;
  view.blocked = PeerRoomLocked(*socket, 1, &view.resumesAt) == 0;
  return view;
}

// Real time that a wait of `milliseconds` on the host clock takes: the compressed length, never
// less than the floor (see SetMinimumRealWait).
long long RealWaitMicroseconds(DWORD milliseconds) {
  std::chrono::microseconds floor;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    floor = State().minimumRealWait;
  }
  return std::max<std::chrono::microseconds>(host::clock::RealDuration(milliseconds), floor).count();
}

// A wait that ran its full length: it counts on the host clock.
void TimedOut(const char* api, DWORD milliseconds) {
  host::clock::RecordWait(api, milliseconds);
  host::clock::Advance(milliseconds);
}

// Milliseconds on the host clock until a connect in progress is given up.
DWORD GiveUpLeft(const Socket& socket) {
  ULONGLONG elapsed = host::clock::Now() - socket.connectStarted;
  return elapsed >= kConnectGiveUpMs ? 0 : static_cast<DWORD>(kConnectGiveUpMs - elapsed);
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
  SettleLocked(*socket);
  if (copy) *copy = *socket;
  return true;
}

bool Started() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().starts > 0;
}

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

std::vector<DWORD> SendTimeouts() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().sendTimeouts;
}

void StallSendsAfter(std::optional<size_t> bytes) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().stallAfter = bytes;
}

void PausePeerReading(std::vector<PeerPause> pauses) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().pauses = std::move(pauses);
}

void ShortenSend(int callsFromNow) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().shortenCall = State().sendCalls + callsFromNow;
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
  // The socket may have been closed since the check above: only an open one takes the value.
  host::sockets::Socket* socket = State().sockets.Find(s);
  if (optname == SO_RCVTIMEO) {
    if (socket) socket->receiveTimeout = milliseconds;
    State().receiveTimeouts.push_back(milliseconds);
  } else {
    if (socket) socket->sendTimeout = milliseconds;
    State().sendTimeouts.push_back(milliseconds);
  }
  return 0;
}

int WINAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  HOST_ENTER("getsockopt", SOCKET_ERROR);
  if (!host::sockets::Usable(s, nullptr)) return SOCKET_ERROR;
  if (level != SOL_SOCKET || (optname != SO_ERROR && optname != SO_RCVTIMEO && optname != SO_SNDTIMEO)) {
    SetLastError(WSAENOPROTOOPT);
    return SOCKET_ERROR;
  }
  if (!optval || !optlen || *optlen < static_cast<int>(sizeof(DWORD))) {
    SetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  DWORD value = 0;
  host::sockets::Update(s, [&](host::sockets::Socket& socket) {
    if (optname == SO_ERROR) {
      value = static_cast<DWORD>(socket.pendingError);
      socket.pendingError = 0;
    } else {
      value = optname == SO_RCVTIMEO ? socket.receiveTimeout : socket.sendTimeout;
    }
  });
  std::memcpy(optval, &value, sizeof value);
  *optlen = sizeof value;
  return 0;
}

int WINAPI ioctlsocket(SOCKET s, long cmd, ULONG* argp) {
  HOST_ENTER("ioctlsocket", SOCKET_ERROR);
  if (!host::sockets::Usable(s, nullptr)) return SOCKET_ERROR;
  if (cmd != FIONBIO) {
    SetLastError(WSAEINVAL);
    return SOCKET_ERROR;
  }
  if (!argp) {
    SetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  bool nonBlocking = *argp != 0;
  host::sockets::Update(s, [&](host::sockets::Socket& socket) { socket.nonBlocking = nonBlocking; });
  return 0;
}

int WINAPI connect(SOCKET s, const struct sockaddr* name, int namelen) {
  HOST_ENTER("connect", SOCKET_ERROR);
  using host::sockets::Link;
  host::sockets::Socket socket;
  if (!host::sockets::Usable(s, &socket)) return SOCKET_ERROR;
  if (!name || namelen < static_cast<int>(sizeof(sockaddr_in))) {
    SetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  if (socket.link == Link::kConnected || socket.link == Link::kConnecting) {
    SetLastError(socket.link == Link::kConnected ? WSAEISCONN : WSAEALREADY);
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
  int error = host::tcp::StartConnect(socket.fd, peer.sin_addr.s_addr, peer.sin_port);
  bool started = error == 0 || error == EINPROGRESS;
  if (!started && !socket.nonBlocking) {
    SetLastError(host::sockets::WsaErrorOf(error));
    return SOCKET_ERROR;
  }
  host::sockets::Update(s, [&](host::sockets::Socket& entry) {
    entry.link = started ? Link::kConnecting : Link::kFailed;
    entry.pendingError = started ? 0 : host::sockets::WsaErrorOf(error);
    entry.connectStarted = host::clock::Now();
    entry.peer = peer.sin_addr.s_addr;
    entry.port = peer.sin_port;
  });
  // Windows reports every non-blocking connect as under way, even one refused at once.
  if (socket.nonBlocking) {
    SetLastError(WSAEWOULDBLOCK);
    return SOCKET_ERROR;
  }
  for (;;) {
    if (!host::sockets::Usable(s, &socket)) return SOCKET_ERROR;
    if (socket.link == Link::kConnected) return 0;
    if (socket.link == Link::kFailed) {
      host::sockets::Update(s, [](host::sockets::Socket& entry) { entry.pendingError = 0; });
      SetLastError(socket.pendingError);
      return SOCKET_ERROR;
    }
    DWORD left = host::sockets::GiveUpLeft(socket);
    std::vector<host::tcp::Readiness> entry{host::tcp::Readiness{socket.fd}};
    entry[0].wantWrite = true;
    if (!host::tcp::Poll(&entry, host::sockets::RealWaitMicroseconds(left))) host::sockets::TimedOut("connect", left);
  }
}

int WINAPI send(SOCKET s, const char* buf, int len, int flags) {
  HOST_ENTER("send", SOCKET_ERROR);
  host::sockets::Socket socket;
  if (!host::sockets::ReadyToTransfer(s, buf, len, &socket)) return SOCKET_ERROR;
  size_t size = static_cast<size_t>(len);
  {
    std::lock_guard<std::mutex> guard(State().lock);
    if (State().sendCalls++ == State().shortenCall && size > 1) size /= 2;
  }
  const bool limited = socket.sendTimeout != 0;
  const ULONGLONG started = host::clock::Now();
  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::microseconds(limited ? host::sockets::RealWaitMicroseconds(socket.sendTimeout) : 0);
  size_t done = 0;
  while (done < size) {
    ULONGLONG resumesAt = 0;
    size_t room = 0;  // what the peer takes now
    host::sockets::Update(s, [&](host::sockets::Socket& entry) {
      room = host::sockets::PeerRoomLocked(entry, size - done, &resumesAt);
    });
    if (room > 0) {
      int error = 0;
      long n = host::tcp::SendSome(socket.fd, buf + done, room, &error);
      if (n < 0 && n != host::tcp::kWouldBlock) {
        SetLastError(host::sockets::WsaErrorOf(error));
        return SOCKET_ERROR;
      }
      if (n > 0) {
        done += static_cast<size_t>(n);
        host::sockets::Update(s, [&](host::sockets::Socket& entry) {
          entry.sent += static_cast<size_t>(n);
          host::sockets::ReachPausesLocked(entry);
        });
        continue;
      }
    }
    if (socket.nonBlocking) {
      if (done > 0) break;
      SetLastError(WSAEWOULDBLOCK);
      return SOCKET_ERROR;
    }
    if (room == 0 && resumesAt != 0) {
      // A peer that pauses: wait for it on the host clock, within the call's time-out.
      if (limited && resumesAt > started + socket.sendTimeout) {
        return host::sockets::SendTimedOut(s, started, socket.sendTimeout);
      }
      host::clock::Advance(static_cast<DWORD>(resumesAt - host::clock::Now()));
      continue;
    }
    // The buffers are full: wait for room until the send time-out.
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    if (limited && left.count() <= 0) return host::sockets::SendTimedOut(s, started, socket.sendTimeout);
    if (room == 0) {
      // A peer that takes nothing more: Windows would block this thread for good.
      if (!limited) {
        std::fprintf(stderr, "send without a time-out to a peer that stopped reading would block\n");
        std::abort();
      }
      std::this_thread::sleep_for(left);
      continue;
    }
    std::vector<host::tcp::Readiness> entry{host::tcp::Readiness{socket.fd}};
    entry[0].wantWrite = true;
    host::tcp::Poll(&entry, limited ? left.count() : -1);
  }
  return static_cast<int>(done);
}

int WINAPI recv(SOCKET s, char* buf, int len, int flags) {
  HOST_ENTER("recv", SOCKET_ERROR);
  host::sockets::Socket socket;
  if (!host::sockets::ReadyToTransfer(s, buf, len, &socket)) return SOCKET_ERROR;
  long long timeoutMicroseconds = -1;
  if (socket.nonBlocking) {
    timeoutMicroseconds = 0;
  } else if (socket.receiveTimeout != 0) {
    timeoutMicroseconds = host::sockets::RealWaitMicroseconds(socket.receiveTimeout);
  }
  int error = 0;
  long received = host::tcp::Receive(socket.fd, buf, static_cast<size_t>(len), timeoutMicroseconds, &error);
  if (received == host::tcp::kTimedOut) {
    if (socket.nonBlocking) {
      SetLastError(WSAEWOULDBLOCK);
      return SOCKET_ERROR;
    }
    host::sockets::TimedOut("recv", socket.receiveTimeout);
    host::sockets::Update(s, [](host::sockets::Socket& entry) { entry.aborted = true; });
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
