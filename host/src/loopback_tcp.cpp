#include "loopback_tcp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace host {
namespace tcp {

int Open(int* error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) *error = errno;
  return fd;
}

void Close(int fd) { ::close(fd); }

int Connect(int fd, uint32_t address, uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = port;
  peer.sin_addr.s_addr = address;
  while (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

long SendAll(int fd, const void* data, size_t size, int* error) {
  const char* p = static_cast<const char*>(data);
  size_t sent = 0;
  while (sent < size) {
    ssize_t n = ::send(fd, p + sent, size - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return -1;
    }
    sent += static_cast<size_t>(n);
  }
  return static_cast<long>(sent);
}

long Receive(int fd, void* buffer, size_t size, long long timeoutMicroseconds, int* error) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::microseconds(timeoutMicroseconds < 0 ? 0 : timeoutMicroseconds);
  for (;;) {
    int waitMs = -1;
    if (timeoutMicroseconds >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
      if (left < 0) left = 0;
      waitMs = static_cast<int>((left + 999) / 1000);
    }
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, waitMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return -1;
    }
    if (ready == 0) {
      if (timeoutMicroseconds >= 0 && Clock::now() >= deadline) return kTimedOut;
      continue;
    }
    ssize_t n = ::recv(fd, buffer, size, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    *error = errno;
    return -1;
  }
}

bool ParseIPv4(const char* text, uint32_t* address) {
  in_addr parsed{};
  if (::inet_aton(text, &parsed) == 0) return false;
  *address = parsed.s_addr;
  return true;
}

}  // namespace tcp
}  // namespace host
