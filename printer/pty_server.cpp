#include "printer/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace simprinter {

namespace {

// Writes to the non-blocking master: a client that reads nothing fills the terminal's queue, and
// the wait for room ends when the server stops. False when stopped or on an error.
bool WriteAll(int fd, int stopFd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd fds[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
      if (::poll(fds, 2, -1) > 0 && fds[1].revents) return false;
      continue;
    }
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool PtyServer::Start(const std::string& link, std::string* error) {
  if (thread_.joinable()) {
    *error = "already serving";
    return false;
  }
  auto fail = [&](const std::string& what) {
    *error = what + ": " + std::strerror(errno);
    Stop();
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) return fail("fcntl");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("unlockpt");
  const char* name = ::ptsname(master_);
  if (name == nullptr) return fail("ptsname");
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail(slavePath_);
  // Binary-clean both ways: no line editing, no signal or flow-control characters, no CR/LF
  // translation, no echo.
  termios mode{};
  if (::tcgetattr(slave_, &mode) != 0) return fail("tcgetattr");
  ::cfmakeraw(&mode);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  if (::tcsetattr(slave_, TCSANOW, &mode) != 0) return fail("tcsetattr");
  if (!stop_.Open(error)) {
    Stop();
    return false;
  }
  ::unlink(link.c_str());  // a symlink left by an earlier run
  if (::symlink(slavePath_.c_str(), link.c_str()) != 0) return fail(link);
  link_ = link;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void PtyServer::Stop() {
  if (thread_.joinable()) {
    stop_.Raise();
    thread_.join();
  }
  if (!link_.empty()) ::unlink(link_.c_str());
  link_.clear();
  stop_.Close();
  for (int* fd : {&slave_, &master_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

// One session for the device's life: a terminal does not tell the server when the host opens or
// closes the device, so a new opening is not a new connection. Every exchange of the host starts
// with a UEL, which resets the session's state. A reply fault that closes the connection starts
// a fresh session instead, as a device has nothing to close.
void PtyServer::Serve() {
  std::optional<Session> session;
  session.emplace(printer_);
  uint8_t buffer[4096];
  for (;;) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      // The terminal is hung up for a moment; the slave is held open here, so it comes back.
      if (!stop_.Pause(50)) return;
      continue;
    }
    bool restart = false;
    for (const Piece& piece : session->Receive(buffer, static_cast<size_t>(n))) {
      if (!stop_.Pause(piece.delayMs)) return;
      if (!piece.bytes.empty() && !WriteAll(master_, stop_.Fd(), piece.bytes.data(), piece.bytes.size())) return;
      if (piece.close) {
        restart = true;
        break;
      }
    }
    if (restart) session.emplace(printer_);
  }
}

}  // namespace simprinter
