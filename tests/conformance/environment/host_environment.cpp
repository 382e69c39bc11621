// The conformance cases on the simulated host: never Wine. Leaks are checked by the common test
// main, which counts what the host holds open.
#include "conformance/conformance.h"

#include <thread>

#include "host/ports.h"
#include "host/registry.h"
#include "host/spooler.h"

namespace conformance {

bool RunningOnWine() { return false; }

void RunOnOtherThread(const std::function<void()>& work) { std::thread(work).join(); }

void InstallTestPort() { host::ports::AddPort(host::ports::Port{kTestPort, L"Local Port", L"Local Port"}); }

// Each case starts on a fresh machine, so the state is made again for every case that asks.
void ProvideMachineState() {
  host::registry::SetString(machine::kKeyPath, machine::kAddressName, machine::kAddressText);
  host::registry::SetString(machine::kKeyPath, machine::kLongName, std::wstring(machine::kLongLength, L'A'));
  host::registry::SetDword(machine::kKeyPath, machine::kPortName, machine::kPortNumber);
  host::spooler::Printer printer;
  printer.name = machine::kPrinterName;
  printer.port = machine::kPrinterPort;
  printer.driver = machine::kPrinterDriver;
  printer.comment = machine::kPrinterComment;
  host::spooler::AddPrinter(printer);
}

}  // namespace conformance
