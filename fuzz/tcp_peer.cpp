#include "tcp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace fuzzing {
namespace {

class Peer final : public ScriptedPeer {
 public:
  Peer() {
    // 127.250.0.0 to 127.254.255.255, chosen from the process id, so parallel fuzz jobs and
    // the tests' printers (lower addresses) do not meet.
    unsigned pid = static_cast<unsigned>(getpid());
    for (unsigned attempt = 0; attempt < 64 && listener_ < 0; ++attempt) {
      unsigned n = pid + attempt * 7919;
      address_ = "127." + std::to_string(250 + (n >> 16) % 5) + "." + std::to_string((n >> 8) & 0xFF) + "." +
                 std::to_string(n & 0xFF);
      int fd = socket(AF_INET, SOCK_STREAM, 0);
      int on = 1;
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      sockaddr_in where = {};
      where.sin_family = AF_INET;
      where.sin_port = htons(9100);
      inet_pton(AF_INET, address_.c_str(), &where.sin_addr);
      if (bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 && listen(fd, 16) == 0) {
        listener_ = fd;
      } else {
        close(fd);
      }
    }
    if (listener_ < 0) {
      std::perror("scripted peer: no loopback address to listen on");
      std::abort();
    }
    std::thread([this] { Serve(); }).detach();
  }

  const std::string& Address() const override { return address_; }

  void Load(std::deque<PeerConnection> connections) override {
    std::lock_guard<std::mutex> guard(lock_);
    script_ = std::move(connections);
    served_ = 0;
  }

  void WaitServed(int connections) override {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, std::chrono::seconds(2), [&] { return served_ >= connections; });
  }

 private:
  void Serve() {
    for (;;) {
      int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      PeerConnection connection;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (!script_.empty()) {
          connection = std::move(script_.front());
          script_.pop_front();
        }
      }
      for (size_t i = 0; i < connection.pieces.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
        const std::string& piece = connection.pieces[i];
        if (!piece.empty()) send(fd, piece.data(), piece.size(), MSG_NOSIGNAL);
      }
      if (connection.end == PeerConnection::kReset) {
        linger abrupt = {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
      } else {
        if (connection.end == PeerConnection::kClose) shutdown(fd, SHUT_WR);
        // Takes what the program sends until it closes its end.
        timeval limit = {2, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char sink[4096];
        while (recv(fd, sink, sizeof sink, 0) > 0) {
        }
      }
      close(fd);
      std::lock_guard<std::mutex> guard(lock_);
      ++served_;
      changed_.notify_all();
    }
  }

  std::string address_;
  int listener_ = -1;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<PeerConnection> script_;
  int served_ = 0;
};

}  // namespace

ScriptedPeer& ScriptedPeer::Instance() {
  static Peer* peer = new Peer();
  return *peer;
}

}  // namespace fuzzing
