#include "usb_printer.h"

#include "engine/engine_context.h"

namespace testing_support {

UsbPrinter::UsbPrinter(simprinter::PrinterSettings settings, Silence silence) : printer(std::move(settings)) {
  AddUsbPrinter(printer, kUsbInstance, silence);
  InitGlobals(CONNECTION_USB, L"vid_7e51&pid_a717", nullptr, kUsbInstance);
}

}  // namespace testing_support
