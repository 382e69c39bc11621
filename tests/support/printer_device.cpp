#include "printer_device.h"

#include <algorithm>
#include <memory>

#include "host/devices.h"

namespace testing_support {

DWORD PrinterEndpoint::Write(const uint8_t* data, size_t size) {
  if (closed_) return ERROR_GEN_FAILURE;
  if (written_ + size > silence_.afterWritten) return ERROR_IO_PENDING;
  written_ += size;
  int dropsBefore = printer_.Count(simprinter::Event::kDropped);
  for (simprinter::Piece& piece : session_.Receive(data, size)) {
    // Delays are not replayed: a read returns whatever has arrived, piece by piece.
    if (!piece.bytes.empty()) pieces_.push_back(std::move(piece.bytes));
    if (piece.close) closed_ = true;
  }
  // The printer dropped the connection inside this write: the device fails it.
  if (printer_.Count(simprinter::Event::kDropped) != dropsBefore) return ERROR_GEN_FAILURE;
  return 0;
}

std::optional<std::vector<uint8_t>> PrinterEndpoint::Read(size_t capacity) {
  if (pieces_.empty() || read_ >= silence_.afterRead) return std::nullopt;
  std::vector<uint8_t>& front = pieces_.front();
  size_t n = std::min({capacity, front.size(), silence_.afterRead - read_});
  read_ += n;
  std::vector<uint8_t> bytes(front.begin(), front.begin() + static_cast<long>(n));
  front.erase(front.begin(), front.begin() + static_cast<long>(n));
  if (front.empty()) pieces_.pop_front();
  return bytes;
}

void AddUsbPrinter(simprinter::Printer& printer, const std::wstring& instanceId, Silence silence) {
  // The hardware ID is the instance ID's vendor and product part ("USB\\VID_7E51&PID_A717").
  const std::wstring hardwareId = instanceId.substr(0, instanceId.find_last_of(L'\\'));
  host::devices::AddUsbPrintDevice(host::devices::UsbPrintDevice{instanceId, hardwareId, L"7&1a&0"});
  std::wstring path = host::devices::InterfacePathOf(instanceId);
  host::devices::Attach(instanceId, [&printer, path, silence](DWORD access, DWORD flags) {
    auto endpoint = std::make_shared<PrinterEndpoint>(printer, silence);
    return host::DeviceOpen{true, host::device_files::NewDevice(path, access, flags, endpoint), 0};
  });
}

void AttachToParallelPort(simprinter::Printer& printer, Silence silence) {
  // One wire for every handle: a reply to a request written on one handle is read on the next.
  auto port = std::make_shared<PrinterEndpoint>(printer, silence);
  host::device_files::AttachParallelPort([port] { return port; });
}

}  // namespace testing_support
