#include "engine/network_channel.h"

#include <cstring>

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

NetConnection::NetConnection(DWORD receiveTimeoutMs) {
  startup_ = NetStartup();
  if (startup_ != 0) return;
  started_ = true;

  socket_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket_) return;
  DWORD timeout = receiveTimeoutMs;
  if (setsockopt(socket_.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout) != 0) {
    return;
  }
  sockaddr_in printer = {};
  printer.sin_family = AF_INET;
  printer.sin_port = htons(NET_PRINTER_PORT);
  printer.sin_addr.s_addr = inet_addr(EngineContext().ipAddress);
  connected_ = connect(socket_.get(), reinterpret_cast<const sockaddr*>(&printer), sizeof printer) >= 0;
}

NetConnection::~NetConnection() {
  socket_.reset();
  if (started_) WSACleanup();
}

bool NetConnection::Send(const void* data, int length) {
  if (!connected_) return false;
  int sent = send(socket_.get(), static_cast<const char*>(data), length, 0);
  if (sent == SOCKET_ERROR) lastError_ = WSAGetLastError();
  return sent == length;
}

int NetConnection::Receive(void* buffer, int length) {
  if (!connected_) return -1;
  int received = recv(socket_.get(), static_cast<char*>(buffer), length, 0);
  if (received == SOCKET_ERROR) {
    lastError_ = WSAGetLastError();
    return -1;
  }
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

long NetGetVersion() {
  NetConnection connection(NET_VERSION_TIMEOUT_MS);
  if (!connection.Connected()) return 0;
  AclReply reply;
  if (!NetAclQuery(connection, ACLCMD_GET_VERSION, &reply)) return 0;
  long version = reply.version();
  if (!connection.Send(PJL_UEL, PJL_UEL_LENGTH)) return 0;
  return version;
}

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
