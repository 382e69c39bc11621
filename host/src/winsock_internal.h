// What the host's Windows Sockets files share: a socket's entry and the checks and waits on it
// (winsock.cpp has the table and the calls on one socket, winsock_select.cpp select).
#pragma once

#include <cstddef>

#include "winhost/winsock.h"

namespace host {
namespace sockets {

enum class Link { kIdle, kConnecting, kConnected, kFailed };

struct Socket {
  int fd = -1;
  Link link = Link::kIdle;
  bool nonBlocking = false;
  bool aborted = false;         // a send or receive timed out: the connection is unusable
  int pendingError = 0;         // SO_ERROR: why the connect failed
  ULONGLONG connectStarted = 0;  // host clock
  size_t sent = 0;              // bytes taken by sends, for StallSendsAfter and PausePeerReading
  size_t pauseIndex = 0;        // the next entry of PausePeerReading's table not yet reached
  ULONGLONG pausedUntil = 0;    // host clock: the peer takes nothing before then
  DWORD receiveTimeout = 0;     // milliseconds; 0 waits without limit
  DWORD sendTimeout = 0;
  ULONG peer = 0;               // network byte order
  u_short port = 0;             // network byte order
};

// WSAStartup ran more often than WSACleanup.
bool Started();
// Checks that the library runs and `s` is one of its sockets (sets the error when not); copies
// its entry, brought up to date, into `*copy` when given.
bool Usable(SOCKET s, Socket* copy);
// Real time that a wait of `milliseconds` on the host clock takes (at least the floor that
// SetMinimumRealWait sets).
long long RealWaitMicroseconds(DWORD milliseconds);
// A wait that ran its full length: it counts on the host clock.
void TimedOut(const char* api, DWORD milliseconds);
// Milliseconds on the host clock until a connect in progress is given up.
DWORD GiveUpLeft(const Socket& socket);

// Whether the peer of a connected socket takes bytes now (StallSendsAfter, PausePeerReading):
// `blocked` when it does not, and then `resumesAt` (host clock) when it will again, 0 never.
struct PeerView {
  bool blocked = false;
  ULONGLONG resumesAt = 0;
};
PeerView PeerOf(SOCKET s);

}  // namespace sockets
}  // namespace host
