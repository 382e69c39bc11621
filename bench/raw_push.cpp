#include "raw_push.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool RawPush(const char* address, uint16_t port, const std::vector<uint8_t>& stream, uint8_t reply[16]) {
  int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd < 0) return false;
  sockaddr_in printer{};
  printer.sin_family = AF_INET;
  printer.sin_port = htons(port);
  bool ok = ::inet_pton(AF_INET, address, &printer.sin_addr) == 1 &&
            ::connect(fd, reinterpret_cast<sockaddr*>(&printer), sizeof printer) == 0;
  for (size_t sent = 0; ok && sent < stream.size();) {
    ssize_t n = ::send(fd, stream.data() + sent, stream.size() - sent, MSG_NOSIGNAL);
    ok = n > 0;
    if (ok) sent += static_cast<size_t>(n);
  }
  for (size_t received = 0; ok && received < 16;) {
    ssize_t n = ::recv(fd, reply + received, 16 - received, 0);
    ok = n > 0;
    if (ok) received += static_cast<size_t>(n);
  }
  ::close(fd);
  return ok;
}
