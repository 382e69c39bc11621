// Simulated printers behind the host's device files: the USB printer device and the
// non-spooled parallel port. Each opening of the USB device starts a new printer session; the
// parallel port is one session for all its handles.
#pragma once

#include <cstdint>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "host/device_files.h"
#include "printer/printer.h"

namespace testing_support {

// Where a printer behind a device stops answering, for good: after taking this many bytes
// (later writes never complete) or after handing over this many (later reads never complete).
// `honoursCancel` false: its driver also ignores cancellation.
struct Silence {
  size_t afterWritten = SIZE_MAX;
  size_t afterRead = SIZE_MAX;
  bool honoursCancel = true;
};

// One opened handle's conversation with a printer: written bytes go to its session, the
// session's replies come back piece by piece (one read takes at most the rest of one piece).
// After the printer dropped the connection, writes fail with ERROR_GEN_FAILURE.
class PrinterEndpoint : public host::device_files::ByteStreamEndpoint {
 public:
  explicit PrinterEndpoint(simprinter::Printer& printer, Silence silence = {})
      : printer_(printer), session_(printer), silence_(silence) {}
  DWORD Write(const uint8_t* data, size_t size) override;
  std::optional<std::vector<uint8_t>> Read(size_t capacity) override;
  bool HonoursCancel() const override { return silence_.honoursCancel; }

 private:
  simprinter::Printer& printer_;
  simprinter::Session session_;
  Silence silence_;
  size_t written_ = 0;
  size_t read_ = 0;
  std::deque<std::vector<uint8_t>> pieces_;
  bool closed_ = false;
};

// The printer must live until the machine is reset (the next test's start).
// Adds a present USB printing device with this instance ID and the printer behind its path.
// Each opening gets a fresh session that falls silent as `silence` says.
void AddUsbPrinter(simprinter::Printer& printer, const std::wstring& instanceId, Silence silence = {});
// Puts the printer behind "\\.\NONSPOOLED_LPT1"; every handle shares one session.
void AttachToParallelPort(simprinter::Printer& printer, Silence silence = {});

}  // namespace testing_support
