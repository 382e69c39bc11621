#include "printer/tcp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace simprinter {

namespace {

constexpr int kReceiveBufferBytes = 64 * 1024;

}  // namespace

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
  // Set on the listener, the size passes to every accepted connection and bounds its window.
  int bytes = kReceiveBufferBytes;
  ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
  // Linux's backlog 0 holds one connection; the filler takes it.
  const int backlog = acceptNothing_ ? 0 : 8;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(listener_, backlog) != 0) {
    *error = address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  if (acceptNothing_ && !FillAcceptQueue(error)) {
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
  if (filler_ >= 0) ::close(filler_);
  filler_ = -1;
  for (int fd : stalled_) ::close(fd);
  stalled_.clear();
  stop_.Close();
}

bool TcpServer::FillAcceptQueue(std::string* error) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &length);
  filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (filler_ < 0 || ::connect(filler_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    *error = std::string("filling the accept queue: ") + std::strerror(errno);
    if (filler_ >= 0) ::close(filler_);
    filler_ = -1;
    return false;
  }
  return true;
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
    if (acceptNothing_) continue;  // the stop signal alone ends the wait above
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    {
      std::lock_guard<std::mutex> guard(lock_);
      serving_ = true;
      ++connections_;
    }
    if (ServeConnection(fd)) {
      ::close(fd);
    } else {
      stalled_.push_back(fd);
    }
    {
      std::lock_guard<std::mutex> guard(lock_);
      serving_ = false;
    }
    idle_.notify_all();
  }
}

bool TcpServer::ServeConnection(int fd) {
  Session session(printer_);
  const ReadFaults reading = printer_.GetReadFaults();
  bool writing = true;
  size_t received = 0;
  size_t inPiece = 0;
  uint8_t buffer[4096];
  for (;;) {
    size_t wanted = sizeof buffer;
    if (reading.stallAfter) {
      if (received >= *reading.stallAfter) {
        printer_.Record({Event::kStalled, 0, "reading stopped after " + std::to_string(received) + " received bytes"});
        return false;
      }
      wanted = std::min(wanted, *reading.stallAfter - received);
    }
    if (reading.pieceBytes > 0) {
      if (inPiece >= reading.pieceBytes) {
        if (!stop_.Pause(reading.pieceGapMs)) return true;
        inPiece = 0;
      }
      wanted = std::min(wanted, reading.pieceBytes - inPiece);
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return true;
    }
    if (fds[1].revents) return true;
    ssize_t n = ::recv(fd, buffer, wanted, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;  // the host closed the connection
    received += static_cast<size_t>(n);
    inPiece += static_cast<size_t>(n);
    if (!writing) continue;  // after a dropped connection: read to the end, answer nothing
    for (const Piece& piece : session.Receive(buffer, static_cast<size_t>(n))) {
      if (!stop_.Pause(piece.delayMs)) return true;
      if (!piece.bytes.empty() && ::send(fd, piece.bytes.data(), piece.bytes.size(), MSG_NOSIGNAL) < 0) return true;
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
