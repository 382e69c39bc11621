#include "printer/stop_signal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace simprinter {

bool StopSignal::Open(std::string* error) {
  if (::pipe2(fds_, O_CLOEXEC) == 0) return true;
  *error = std::string("pipe: ") + std::strerror(errno);
  return false;
}

void StopSignal::Raise() {
  char stop = 's';
  (void)!::write(fds_[1], &stop, 1);
}

bool StopSignal::Pause(int ms) const {
  if (ms <= 0) return true;
  pollfd stop{fds_[0], POLLIN, 0};
  return ::poll(&stop, 1, ms) == 0;
}

void StopSignal::Close() {
  for (int& fd : fds_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

}  // namespace simprinter
