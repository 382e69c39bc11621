// A simulated printer on a USB device of the simulated host, with the engine context loaded for it.
#pragma once

#include <string>

#include "printer/printer.h"
#include "support/printer_device.h"

namespace testing_support {

constexpr wchar_t kUsbInstance[] = L"USB\\VID_7E51&PID_A717\\SN0001";

struct UsbPrinter {
  explicit UsbPrinter(simprinter::PrinterSettings settings = {}, Silence silence = {});
  simprinter::Printer printer;
};

}  // namespace testing_support
