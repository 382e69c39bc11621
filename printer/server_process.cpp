#include "printer/server_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace simprinter {

ServerProcess::ServerProcess(const std::vector<std::string>& arguments) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(pipeFds[1], 1);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    std::vector<char*> argv;
    std::string program = PRINTER_SERVER_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  output_ = pipeFds[0];
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (pending_.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{output_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[512];
    ssize_t n = ::read(output_, buffer, sizeof buffer);
    if (n <= 0) break;
    pending_.append(buffer, static_cast<size_t>(n));
  }
  size_t end = pending_.find('\n');
  if (end == std::string::npos) return;
  firstLine_ = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  running_ = true;
}

std::string ServerProcess::Stop(int* exitCode) {
  *exitCode = -1;
  if (pid_ <= 0) return "";
  ::kill(pid_, SIGTERM);
  std::string output = pending_;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(output_, buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
  int status = 0;
  ::waitpid(pid_, &status, 0);
  if (WIFEXITED(status)) *exitCode = WEXITSTATUS(status);
  pid_ = -1;
  ::close(output_);
  output_ = -1;
  return output;
}

ServerProcess::~ServerProcess() {
  int code;
  Stop(&code);
}

}  // namespace simprinter
