// Serves a simulated printer on a TCP address, one connection at a time, as a network printer
// serves its port 9100. Its receive buffer is small, as a printer's is (64 KiB), so a host that
// sends to a printer that stopped reading soon finds the buffers full.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

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
  // Before Start: accept no connection at all. The accept queue is kept full (a backlog of one,
  // taken by a connection of the server's own), so Linux drops the SYNs of every other client:
  // their connects never complete.
  void AcceptNothing() { acceptNothing_ = true; }
  // Stops serving: waits end, open connections are closed. Safe to call twice.
  void Stop();

  int Connections() const { return connections_; }
  // Waits until no connection is being served, so that everything a finished client sent has
  // been taken in. False after `limit`.
  bool WaitForIdle(std::chrono::milliseconds limit);

 private:
  void Serve();
  // False when the connection stopped reading and stays open (it is closed by Stop).
  bool ServeConnection(int fd);
  bool FillAcceptQueue(std::string* error);

  Printer& printer_;
  int listener_ = -1;
  bool acceptNothing_ = false;
  int filler_ = -1;            // the connection that keeps the accept queue full
  std::vector<int> stalled_;   // connections that stopped reading, open until Stop
  StopSignal stop_;
  std::thread thread_;
  std::atomic<int> connections_{0};
  std::mutex lock_;
  std::condition_variable idle_;
  bool serving_ = false;
};

}  // namespace simprinter
