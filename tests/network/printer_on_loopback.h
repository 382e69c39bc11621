// A simulated network printer for one test, on a loopback address of its own (127.x.y.z:9100,
// chosen from the test's name), so that test programs can run in parallel.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "printer/tcp_server.h"

namespace testing_support {

class PrinterOnLoopback {
 public:
  // With `acceptNothing`, connects to the printer never complete (its accept queue stays full).
  explicit PrinterOnLoopback(simprinter::PrinterSettings settings = {}, bool acceptNothing = false);
  ~PrinterOnLoopback();

  simprinter::Printer& printer() { return printer_; }
  const std::string& address() const { return address_; }
  // Waits (up to 5 s) until the printer has taken in everything of the finished connections.
  void WaitForIdle() { EXPECT_TRUE(server_.WaitForIdle(std::chrono::seconds(5))); }
  // Loads the engine context for a network printer at this address.
  void LoadContext() const;

 private:
  simprinter::Printer printer_;
  simprinter::TcpServer server_;
  std::string address_;
};

}  // namespace testing_support
