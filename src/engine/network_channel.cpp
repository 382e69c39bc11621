#include "engine/network_channel.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "diag/diag_log.h"
#include "engine/engine_context.h"

int NetStartup() {
  WSADATA data;
  int result = WSAStartup(MAKEWORD(1, 1), &data);
  if (result != 0) return result;
  if (LOBYTE(data.wVersion) != 1 || HIBYTE(data.wVersion) != 1) {
    WSACleanup();
    return 1;
  }
  return 0;
}

namespace {

// Connects without blocking and waits at most NET_CONNECT_TIMEOUT_MS for the outcome: a failed
// connect shows in the exception set, a finished one as writable, and SO_ERROR confirms it.
// Restores blocking mode for the exchange. False on any failure, with its error in `error`
// (WSAETIMEDOUT when the printer did not answer in time).
bool ConnectBounded(SOCKET s, const sockaddr_in& printer, int& error) {
  error = 0;
  ULONG nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
  if (connect(s, reinterpret_cast<const sockaddr*>(&printer), sizeof printer) != 0) {
    error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) return false;
    error = 0;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_SET(s, &writable);
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval limit = {NET_CONNECT_TIMEOUT_MS / 1000, (NET_CONNECT_TIMEOUT_MS % 1000) * 1000};
    int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready == 0) {
      wchar_t address[FWDownloadContext::kTextChars] = {};
      MultiByteToWideChar(CP_ACP, 0, EngineContext().ipAddress, -1, address, static_cast<int>(std::size(address)));
      DiagLog::Write(L"NetConnect: no answer from %ls within %u ms", address,
                     static_cast<unsigned>(NET_CONNECT_TIMEOUT_MS));
      error = WSAETIMEDOUT;
      return false;
    }
    int pending = 0;
    int length = sizeof pending;
    bool read = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &length) == 0;
    if (read) error = pending;
    if (ready < 0 || !FD_ISSET(s, &writable) || !read || pending != 0) return false;
  }
  ULONG blocking = 0;
  return ioctlsocket(s, FIONBIO, &blocking) == 0;
}

NetFailure FailureOf(int error) {
  switch (error) {
    case WSAETIMEDOUT:
      return NetFailure::NoAnswer;
    case WSAECONNREFUSED:
    case WSAECONNRESET:
    case WSAECONNABORTED:
      return NetFailure::RefusedOrReset;
    default:
      return NetFailure::Other;
  }
}

NetFailure g_lastVersionFailure = NetFailure::None;

bool SetTimeout(SOCKET s, int option, DWORD milliseconds) {
  return setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&milliseconds), sizeof milliseconds) == 0;
}

}  // namespace

NetConnection::NetConnection(DWORD timeoutMs) : timeoutMs_(timeoutMs) {
  startup_ = NetStartup();
  if (startup_ != 0) return;
  started_ = true;

  socket_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket_) return;
  if (!SetTimeout(socket_.get(), SO_RCVTIMEO, timeoutMs) || !SetTimeout(socket_.get(), SO_SNDTIMEO, timeoutMs)) return;
  sockaddr_in printer = {};
  printer.sin_family = AF_INET;
  printer.sin_port = htons(NET_PRINTER_PORT);
  printer.sin_addr.s_addr = inet_addr(EngineContext().ipAddress);
  connected_ = ConnectBounded(socket_.get(), printer, connectError_);
}

NetConnection::~NetConnection() {
  socket_.reset();
  if (started_) WSACleanup();
}

void NetConnection::Failed(int error) {
  lastError_ = error;
  if (error == WSAETIMEDOUT) timedOut_ = true;
}

bool NetConnection::Send(const void* data, int length) {
  if (!connected_ || timedOut_) return false;
  lastError_ = 0;
  const char* bytes = static_cast<const char*>(data);
  // A blocking send may take fewer bytes than asked; the rest goes in the next call.
  for (int done = 0; done < length;) {
    int sent = send(socket_.get(), bytes + done, length - done, 0);
    if (sent == SOCKET_ERROR) {
      Failed(WSAGetLastError());
      return false;
    }
    if (sent <= 0) return false;
    done += sent;
  }
  return true;
}

bool NetConnection::SendWhileTaken(const uint8_t* data, DWORD length, DWORD pieceBytes, DWORD* taken) {
  *taken = 0;
  if (!connected_ || timedOut_) return false;
  lastError_ = 0;
  ULONG nonBlocking = 1;
  if (ioctlsocket(socket_.get(), FIONBIO, &nonBlocking) != 0) {
    Failed(WSAGetLastError());
    return false;
  }
  bool sentAll = true;
  while (*taken < length) {
    const int piece = static_cast<int>(std::min(length - *taken, pieceBytes));
    int sent = send(socket_.get(), reinterpret_cast<const char*>(data + *taken), piece, 0);
    if (sent > 0) {
      *taken += static_cast<DWORD>(sent);
      continue;
    }
    int error = sent == SOCKET_ERROR ? WSAGetLastError() : 0;
    if (error != WSAEWOULDBLOCK) {
      Failed(error);
      sentAll = false;
      break;
    }
    // The buffers are full: wait until the printer has taken something.
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(socket_.get(), &writable);
    timeval limit = {static_cast<long>(timeoutMs_ / 1000), static_cast<long>((timeoutMs_ % 1000) * 1000)};
    int ready = select(0, nullptr, &writable, nullptr, &limit);
    if (ready <= 0) {
      Failed(ready == 0 ? WSAETIMEDOUT : WSAGetLastError());
      sentAll = false;
      break;
    }
  }
  if (timedOut_) return false;
  ULONG blocking = 0;
  if (ioctlsocket(socket_.get(), FIONBIO, &blocking) != 0) {
    if (sentAll) Failed(WSAGetLastError());
    return false;
  }
  return sentAll;
}

int NetConnection::Receive(void* buffer, int length) {
  if (!connected_ || timedOut_) return -1;
  int received = recv(socket_.get(), static_cast<char*>(buffer), length, 0);
  if (received == SOCKET_ERROR) {
    Failed(WSAGetLastError());
    return -1;
  }
  lastError_ = 0;
  return received;
}

bool NetAclQuery(NetConnection& connection, uint16_t code, AclReply* reply) {
  AclCommand command;
  command.Set(code);
  if (!connection.Send(PJL_UEL, PJL_UEL_LENGTH) || !connection.Send(PJL_ENTERLANG, PJL_ENTERLANG_LENGTH) ||
      !connection.Send(command.bytes, ACL_RECORD_SIZE)) {
    return false;
  }
  // One receive: a reply that arrives in pieces fails, there is no retry on this channel.
  reply->Clear();
  if (connection.Receive(reply->bytes, ACL_RECORD_SIZE) != static_cast<int>(ACL_RECORD_SIZE)) return false;
  return reply->PrefixOk() && reply->EchoesCommand(code) && reply->StatusOk();
}

namespace {

long QueryNetVersion(NetConnection& connection) {
  if (!connection.Connected()) return 0;
  AclReply reply;
  if (!NetAclQuery(connection, ACLCMD_GET_VERSION, &reply)) return 0;
  long version = reply.version();
  if (!connection.Send(PJL_UEL, PJL_UEL_LENGTH)) return 0;
  return version;
}

}  // namespace

long NetGetVersion() {
  NetConnection connection(NET_VERSION_TIMEOUT_MS);
  long version = QueryNetVersion(connection);
  g_lastVersionFailure = version != 0 ? NetFailure::None : FailureOf(connection.Connected() ? connection.LastError() : connection.ConnectError());
  return version;
}

NetFailure NetLastVersionFailure() { return g_lastVersionFailure; }

int NetGet1284String(char* out) {
  NetConnection connection(NET_INFO_TIMEOUT_MS);
  if (!connection.Connected()) return 0;
  AclReply reply;
  if (!NetAclQuery(connection, ACLCMD_GET_DEVICE_ID, &reply)) return 0;

  // The payload is read with one receive, whatever length the reply announced; the text is
  // taken from the payload's second byte on (the low byte of the ID's length field first).
  char payload[NET_INFO_BUFFER_SIZE] = {};
  int received = connection.Receive(payload, NET_INFO_BUFFER_SIZE - 1);
  if (received < 0) return 0;
  payload[received] = '\0';
  size_t length = std::strlen(payload + 1);
  std::memcpy(out, payload + 1, length + 1);

  if (!connection.Send(PJL_UEL, PJL_UEL_LENGTH)) return 0;
  return 1;
}

int NetBuildInfo(char* out) {
  NetConnection connection(NET_INFO_TIMEOUT_MS);
  if (!connection.Connected()) return 0;
  AclReply reply;
  if (!NetAclQuery(connection, ACLCMD_GET_BUILD_INFO, &reply)) return 0;

  int length = reply.payloadLength();
  if (length > 1024) length = 1023;
  int received = connection.Receive(out, length);
  if (received < 0) return 0;
  out[received] = '\0';

  if (!connection.Send(PJL_UEL, PJL_UEL_LENGTH)) return 0;
  return 1;
}
