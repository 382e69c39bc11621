// select and the fd_set helper of Windows Sockets, on the host's loopback sockets: each watched
// socket is polled underneath, and the time-out runs on the host clock.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "host/clock.h"
#include "internal.h"
#include "loopback_tcp.h"
#include "winsock_internal.h"

int WINAPI __WSAFDIsSet(SOCKET s, fd_set* set) {
  for (u_int i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] == s) return 1;
  }
  return 0;
}

namespace host {
namespace sockets {
namespace {

enum SetKind { kRead, kWrite, kExcept };

// One socket of a select: which sets name it and what it is ready for.
struct Watched {
  SOCKET value;
  bool in[3] = {};
  bool ready[3] = {};
};

// What each watched socket is ready for now; the count of (socket, set) pairs ready. A socket
// whose peer takes nothing now (host/sockets.h) is not writable, whatever the buffers
// underneath say; `resumesAt` gets the earliest host-clock time such a peer takes bytes again
// (0: none will).
int Look(std::vector<Watched>* watched, std::vector<tcp::Readiness>* polled, ULONGLONG* resumesAt) {
  polled->clear();
  *resumesAt = 0;
  int count = 0;
  for (Watched& w : *watched) {
    Socket socket;
    if (!Usable(w.value, &socket)) continue;
    const bool connected = socket.link == Link::kConnected;
    bool peerTakes = true;
    if (w.in[kWrite] && connected) {
      PeerView peer = PeerOf(w.value);
      peerTakes = !peer.blocked;
      if (peer.resumesAt != 0 && (*resumesAt == 0 || peer.resumesAt < *resumesAt)) *resumesAt = peer.resumesAt;
    }
    tcp::Readiness entry{socket.fd};
    entry.wantRead = w.in[kRead] && connected;
    entry.wantWrite = (w.in[kWrite] && connected && peerTakes) || socket.link == Link::kConnecting;
    std::vector<tcp::Readiness> one{entry};
    const bool now = (entry.wantRead || entry.wantWrite) && tcp::Poll(&one, 0);
    w.ready[kRead] = entry.wantRead && now && one[0].readable;
    w.ready[kWrite] = w.in[kWrite] && connected && peerTakes && now && one[0].writable;
    w.ready[kExcept] = w.in[kExcept] && socket.link == Link::kFailed && socket.pendingError != 0;
    for (bool r : w.ready) count += r;
    if (entry.wantRead || entry.wantWrite) polled->push_back(entry);
  }
  return count;
}

}  // namespace
}  // namespace sockets
}  // namespace host

int WINAPI select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const struct timeval* timeout) {
  HOST_ENTER("select", SOCKET_ERROR);
  using namespace host::sockets;
  if (!Started()) {
    SetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  fd_set* sets[3] = {readfds, writefds, exceptfds};
  std::vector<Watched> watched;
  for (int kind = 0; kind < 3; ++kind) {
    if (!sets[kind]) continue;
    for (u_int i = 0; i < sets[kind]->fd_count && i < FD_SETSIZE; ++i) {
      SOCKET value = sets[kind]->fd_array[i];
      if (!Usable(value, nullptr)) return SOCKET_ERROR;
      auto it = std::find_if(watched.begin(), watched.end(), [&](const Watched& w) { return w.value == value; });
      if (it == watched.end()) it = watched.insert(watched.end(), Watched{value});
      it->in[kind] = true;
    }
  }
  // Documented: all three sets empty or null, or a negative time-out, is invalid.
  if (watched.empty() || (timeout && (timeout->tv_sec < 0 || timeout->tv_usec < 0))) {
    SetLastError(WSAEINVAL);
    return SOCKET_ERROR;
  }
  const bool limited = timeout != nullptr;
  DWORD limitMs = limited ? static_cast<DWORD>(timeout->tv_sec * 1000 + timeout->tv_usec / 1000) : INFINITE;
  std::vector<host::tcp::Readiness> polled;
  ULONGLONG resumesAt = 0;
  const ULONGLONG started = host::clock::Now();
  int count = Look(&watched, &polled, &resumesAt);
  if (count == 0 && resumesAt != 0 && (limitMs == INFINITE || resumesAt - started <= limitMs)) {
    // A peer that pauses takes bytes again within the time-out: the wait ends then.
    host::clock::Advance(static_cast<DWORD>(resumesAt - host::clock::Now()));
    count = Look(&watched, &polled, &resumesAt);
  }
  if (count == 0 && limitMs > 0) {
    // A connect in progress that is given up first ends the wait then (in exceptfds).
    DWORD waitMs = limitMs;
    for (const Watched& w : watched) {
      Socket socket;
      if (Usable(w.value, &socket) && socket.link == Link::kConnecting) waitMs = std::min(waitMs, GiveUpLeft(socket));
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(waitMs == INFINITE ? 0 : RealWaitMicroseconds(waitMs));
    while (count == 0) {
      auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
      if (waitMs != INFINITE && left.count() <= 0) {
        TimedOut("select", waitMs);
        count = Look(&watched, &polled, &resumesAt);
        break;
      }
      // Sockets with nothing to poll (a failed connect only watched for writing) still wait.
      if (polled.empty()) {
        if (waitMs == INFINITE) {
          std::fprintf(stderr, "select without a time-out on sockets that cannot become ready would block\n");
          std::abort();
        }
        std::this_thread::sleep_for(left);
        continue;
      }
      host::tcp::Poll(&polled, waitMs == INFINITE ? -1 : left.count());
      count = Look(&watched, &polled, &resumesAt);
    }
  }
  for (int kind = 0; kind < 3; ++kind) {
    if (!sets[kind]) continue;
    FD_ZERO(sets[kind]);
    for (const Watched& w : watched) {
      if (w.ready[kind]) FD_SET(w.value, sets[kind]);
    }
  }
  return count;
}
