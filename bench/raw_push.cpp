#include "raw_push.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

bool SendAll(int fd, const uint8_t* data, size_t size) {
  for (size_t sent = 0; sent < size;) {
    ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool RawPushFile(const char* address, uint16_t port, const std::string& path, uint8_t reply[16]) {
  int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in printer{};
  printer.sin_family = AF_INET;
  printer.sin_port = htons(port);
  bool ok = fd >= 0 && ::inet_pton(AF_INET, address, &printer.sin_addr) == 1 &&
            ::connect(fd, reinterpret_cast<sockaddr*>(&printer), sizeof printer) == 0;
  std::vector<uint8_t> chunk(kRawPushChunkBytes);
  for (ssize_t n = 1; ok && n > 0;) {
    n = ::read(file, chunk.data(), chunk.size());
    ok = n >= 0 && SendAll(fd, chunk.data(), static_cast<size_t>(n));
  }
  for (size_t received = 0; ok && received < 16;) {
    ssize_t n = ::recv(fd, reply + received, 16 - received, 0);
    ok = n > 0;
    if (ok) received += static_cast<size_t>(n);
  }
  if (fd >= 0) ::close(fd);
  ::close(file);
  return ok;
}
