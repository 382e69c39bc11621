#include "printer/tcp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace simprinter {

bool TcpServer::Start(const std::string& address, uint16_t port, std::string* error) {
  if (thread_.joinable()) {
    *error = "already serving";
    return false;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
    *error = "not an IPv4 address: " + address;
    return false;
  }
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(listener_, 8) != 0) {
    *error = address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  if (!stop_.Open(error)) {
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void TcpServer::Stop() {
  if (thread_.joinable()) {
    stop_.Raise();
    thread_.join();
  }
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
  stop_.Close();
}

bool TcpServer::WaitForIdle(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> guard(lock_);
  return idle_.wait_for(guard, limit, [this] { return !serving_; });
}

void TcpServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    {
      std::lock_guard<std::mutex> guard(lock_);
      serving_ = true;
      ++connections_;
    }
    ServeConnection(fd);
    ::close(fd);
    {
      std::lock_guard<std::mutex> guard(lock_);
      serving_ = false;
    }
    idle_.notify_all();
  }
}

void TcpServer::ServeConnection(int fd) {
  Session session(printer_);
  bool writing = true;
  uint8_t buffer[4096];
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the host closed the connection
    if (!writing) continue;  // after a dropped connection: read to the end, answer nothing
    for (const Piece& piece : session.Receive(buffer, static_cast<size_t>(n))) {
      if (!stop_.Pause(piece.delayMs)) return;
      if (!piece.bytes.empty() && ::send(fd, piece.bytes.data(), piece.bytes.size(), MSG_NOSIGNAL) < 0) return;
      if (piece.close) {
        // A clean end of the stream (FIN), so the bytes already sent stay readable; the rest of
        // what the host sends is read and thrown away until it closes.
        ::shutdown(fd, SHUT_WR);
        writing = false;
        break;
      }
    }
  }
}

}  // namespace simprinter
