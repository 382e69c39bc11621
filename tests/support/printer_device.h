// Simulated printers behind the host's device files: the USB printer device and the
// non-spooled parallel port. Each opening of the USB device starts a new printer session; the
// parallel port is one session for all its handles.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "host/device_files.h"
#include "printer/printer.h"

namespace testing_support {

// One opened handle's conversation with a printer: written bytes go to its session, the
// session's replies come back piece by piece (one read takes at most the rest of one piece).
// After the printer dropped the connection, writes fail with ERROR_GEN_FAILURE.
class PrinterEndpoint : public host::device_files::ByteStreamEndpoint {
 public:
  explicit PrinterEndpoint(simprinter::Printer& printer) : printer_(printer), session_(printer) {}
  DWORD Write(const uint8_t* data, size_t size) override;
  std::optional<std::vector<uint8_t>> Read(size_t capacity) override;

 private:
  simprinter::Printer& printer_;
  simprinter::Session session_;
  std::deque<std::vector<uint8_t>> pieces_;
  bool closed_ = false;
};

// The printer must live until the machine is reset (the next test's start).
// Adds a present USB printing device with this instance ID and the printer behind its path.
void AddUsbPrinter(simprinter::Printer& printer, const std::wstring& instanceId);
// Puts the printer behind "\\.\NONSPOOLED_LPT1"; every handle shares one session.
void AttachToParallelPort(simprinter::Printer& printer);

}  // namespace testing_support
