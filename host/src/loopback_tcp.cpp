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
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (fd < 0) {
    *error = errno;
    return fd;
  }
  int bytes = kSendBufferBytes;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
  return fd;
}

void Close(int fd) { ::close(fd); }

int StartConnect(int fd, uint32_t address, uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = port;
  peer.sin_addr.s_addr = address;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) return 0;
  // An interrupted non-blocking connect goes on in the background like any other.
  return errno == EINTR ? EINPROGRESS : errno;
}

int PendingError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

long SendSome(int fd, const void* data, size_t size, int* error) {
  for (;;) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    *error = errno;
    return -1;
  }
}

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds for poll until `deadline` (rounded up), or -1 without a deadline.
int PollWait(bool limited, Clock::time_point deadline) {
  if (!limited) return -1;
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left < 0) left = 0;
  return static_cast<int>((left + 999) / 1000);
}

}  // namespace

long Receive(int fd, void* buffer, size_t size, long long timeoutMicroseconds, int* error) {
  const bool limited = timeoutMicroseconds >= 0;
  const auto deadline = Clock::now() + std::chrono::microseconds(limited ? timeoutMicroseconds : 0);
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, PollWait(limited, deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return -1;
    }
    if (ready == 0) {
      if (limited && Clock::now() >= deadline) return kTimedOut;
      continue;
    }
    ssize_t n = ::recv(fd, buffer, size, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    *error = errno;
    return -1;
  }
}

bool Poll(std::vector<Readiness>* entries, long long timeoutMicroseconds) {
  const bool limited = timeoutMicroseconds >= 0;
  const auto deadline = Clock::now() + std::chrono::microseconds(limited ? timeoutMicroseconds : 0);
  std::vector<pollfd> fds;
  for (const Readiness& entry : *entries) {
    short events = static_cast<short>((entry.wantRead ? POLLIN | POLLRDHUP : 0) | (entry.wantWrite ? POLLOUT : 0));
    fds.push_back(pollfd{entry.fd, events, 0});
  }
  for (;;) {
    int ready = ::poll(fds.data(), fds.size(), PollWait(limited, deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      if (ready == 0 && limited && Clock::now() < deadline) continue;
      return false;
    }
    for (size_t i = 0; i < fds.size(); ++i) {
      short events = fds[i].revents;
      (*entries)[i].readable = events & (POLLIN | POLLRDHUP | POLLHUP | POLLERR);
      (*entries)[i].writable = events & (POLLOUT | POLLERR | POLLHUP);
      (*entries)[i].failed = events & (POLLERR | POLLHUP);
    }
    return true;
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
