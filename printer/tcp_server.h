// Serves a simulated printer on a TCP address, one connection at a time, as a network printer
// serves its port 9100.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <string>
#include <thread>

#include "printer/printer.h"
#include "printer/stop_signal.h"

namespace simprinter {

class TcpServer {
 public:
  explicit TcpServer(Printer& printer) : printer_(printer) {}
  ~TcpServer() { Stop(); }
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Listens on `address` (dotted IPv4) and `port` and serves in a thread of its own. False with
  // `error` when the address is bad or taken.
  bool Start(const std::string& address, uint16_t port, std::string* error);
  // Stops serving: waits end, open connections are closed. Safe to call twice.
  void Stop();

  int Connections() const { return connections_; }
  // Waits until no connection is being served, so that everything a finished client sent has
  // been taken in. False after `limit`.
  bool WaitForIdle(std::chrono::milliseconds limit);

 private:
  void Serve();
  void ServeConnection(int fd);

  Printer& printer_;
  int listener_ = -1;
  StopSignal stop_;
  std::thread thread_;
  std::atomic<int> connections_{0};
  std::mutex lock_;
  std::condition_variable idle_;
  bool serving_ = false;
};

}  // namespace simprinter
