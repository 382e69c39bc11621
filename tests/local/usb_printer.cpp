#include "usb_printer.h"

#include "engine/engine_context.h"

namespace testing_support {

UsbPrinter::UsbPrinter(simprinter::PrinterSettings settings) : printer(std::move(settings)) {
  AddUsbPrinter(printer, kUsbInstance);
  InitGlobals(CONNECTION_USB, L"vid_7e51&pid_a717", nullptr, kUsbInstance);
}

}  // namespace testing_support
