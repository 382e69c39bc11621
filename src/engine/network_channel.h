// The network channel: every ACL exchange with a networked printer runs over its own short TCP
// connection to the printer's port 9100, with its own start-up of the socket library. No wait is
// without a bound: the connect gives up after NET_CONNECT_TIMEOUT_MS (the one line these
// operations log), and every send and receive has the operation's time-out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/acl_protocol.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

constexpr u_short NET_PRINTER_PORT = 9100;
// Receive time-outs (SO_RCVTIMEO), milliseconds; each operation sets the same send time-out
// (SO_SNDTIMEO), so a printer that stops reading ends a send as one that does not answer ends a
// receive.
constexpr DWORD NET_VERSION_TIMEOUT_MS = 8000;
constexpr DWORD NET_INFO_TIMEOUT_MS = 20000;   // device ID and build information
constexpr DWORD NET_BURN_TIMEOUT_MS = 20000;
// How long a connect may take: a printer on the local network answers in milliseconds; this
// covers a lost SYN and its first retransmission.
constexpr DWORD NET_CONNECT_TIMEOUT_MS = 5000;
// Size of the `out` buffers of the information queries: up to 1024 text bytes and a zero byte.
constexpr size_t NET_INFO_BUFFER_SIZE = 1025;

// Starts the socket library at version 1.1. Returns 0 when it runs at 1.1; the library's error
// code when it cannot start; 1 when it grants another version (it is then released again).
int NetStartup();

// The connection sequence: start the library, create the socket, set the receive and send
// time-outs, connect to the context's ipAddress on port 9100 (without blocking, waiting at most
// NET_CONNECT_TIMEOUT_MS; the socket is blocking again afterwards). The object owns what the
// sequence opened and releases it exactly once (socket closed first, then WSACleanup), on every
// path.
class NetConnection {
 public:
  explicit NetConnection(DWORD timeoutMs);
  ~NetConnection();
  NetConnection(const NetConnection&) = delete;
  NetConnection& operator=(const NetConnection&) = delete;

  bool Connected() const { return connected_; }
  // NetStartup's result: 0, or why the library did not start.
  int StartupResult() const { return startup_; }

  // Sends all `length` bytes, calling send again for the rest when it took fewer; true when all
  // went out. False without a call when the sequence did not connect or the connection timed out.
  bool Send(const void* data, int length);
  // Sends all `length` bytes without blocking, waiting up to the operation's time-out each time
  // the printer takes nothing, so the bound is "no byte taken for that long", however slowly
  // the printer reads. At most `pieceBytes` are offered per send. `taken` gets the count that
  // went out. False on an error or a wait that timed out.
  bool SendWhileTaken(const uint8_t* data, DWORD length, DWORD pieceBytes, DWORD* taken);
  // One recv of at most `length` bytes: the count (0 when the printer closed), or -1. -1
  // without a call when the sequence did not connect or the connection timed out.
  int Receive(void* buffer, int length);
  // The error of the last send, receive or wait that failed (WSAETIMEDOUT for a wait that ran
  // out), 0 after any other.
  int LastError() const { return lastError_; }
  // Why the connect failed (WSAETIMEDOUT when it had no answer in time); 0 when it did not fail
  // or was not tried.
  int ConnectError() const { return connectError_; }
  // A send, receive or wait timed out. Windows leaves a socket in an indeterminate state after a
  // time-out, so nothing more is sent or received on it.
  bool TimedOut() const { return timedOut_; }

 private:
  // Notes a failed call's error; a time-out makes the connection unusable.
  void Failed(int error);

  int startup_ = -1;
  bool started_ = false;
  bool connected_ = false;
  bool timedOut_ = false;
  DWORD timeoutMs_ = 0;
  int lastError_ = 0;
  int connectError_ = 0;
  platform::UniqueSocket socket_;
};

// One query on a connected printer: PJL_UEL, PJL_ENTERLANG and the command record for `code`,
// then one recv of the 16-byte reply into `reply`, which must echo the prefix and the code with
// status 1. Returns true when every step passed.
bool NetAclQuery(NetConnection& connection, uint16_t code, AclReply* reply);

// The printer's firmware version, or 0 on any failure.
long NetGetVersion();

// Why the last NetGetVersion of this process failed, for a caller that names the reason.
enum class NetFailure {
  None,            // it answered (or none was asked yet)
  NoAnswer,        // the connect or a send or receive timed out
  RefusedOrReset,  // the connection was refused, reset or aborted
  Other,           // anything else: a wrong or short reply, a closed connection, no socket
};
NetFailure NetLastVersionFailure();
// The IEEE 1284 device ID text into `out` (NET_INFO_BUFFER_SIZE bytes): 1, or 0 on failure.
int NetGet1284String(char* out);
// The build information text into `out` (NET_INFO_BUFFER_SIZE bytes): 1, or 0 on failure.
int NetBuildInfo(char* out);
