// Serves a simulated printer on a pseudo-terminal, as a USB or parallel printer serves its device
// file: the host opens the slave side (through a symlink) and exchanges the same byte stream as
// on TCP.
#pragma once

#include <string>
#include <thread>

#include "printer/printer.h"
#include "printer/stop_signal.h"

namespace simprinter {

class PtyServer {
 public:
  explicit PtyServer(Printer& printer) : printer_(printer) {}
  ~PtyServer() { Stop(); }
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens a pseudo-terminal in raw mode, points the symlink `link` at its slave (replacing a
  // symlink already there) and serves in a thread of its own. False with `error` on failure.
  bool Start(const std::string& link, std::string* error);
  // Stops serving, removes the symlink and closes the terminal. Safe to call twice.
  void Stop();

  const std::string& SlavePath() const { return slavePath_; }

 private:
  void Serve();

  Printer& printer_;
  int master_ = -1;
  // Held open for the server's life: with no slave open, reads on the master fail (EIO) and a
  // client closing the device would hang the terminal up.
  int slave_ = -1;
  StopSignal stop_;
  std::string link_;
  std::string slavePath_;
  std::thread thread_;
};

}  // namespace simprinter
