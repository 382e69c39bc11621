// The conformance cases on the simulated host: never Wine. Leaks are checked by the common test
// main, which counts what the host holds open.
#include "conformance/conformance.h"

#include <functional>
#include <string>
#include <thread>

#include "host/clock.h"
#include "host/ports.h"
#include "printer/tcp_server.h"
#include "host/registry.h"
#include "host/spooler.h"

namespace conformance {

bool RunningOnWine() { return false; }

void RunOnOtherThread(const std::function<void()>& work) { std::thread(work).join(); }

void LetOtherThreadsCatchUp() { host::clock::SetMinimumObjectWait(std::chrono::seconds(10)); }

struct LoopbackPeer::Parts {
  simprinter::Printer printer;
  simprinter::TcpServer server{printer};
};

LoopbackPeer::LoopbackPeer(PeerKind kind) : parts_(new Parts) {
  if (kind == PeerKind::kNeverReads) {
    simprinter::ReadFaults nothing;
    nothing.stallAfter = 0;
    parts_->printer.SetReadFaults(nothing);
  } else {
    parts_->server.AcceptNothing();
  }
  // An address of the case's own in 127.77.0.0/16, so that cases running side by side do not meet.
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  size_t hash = std::hash<std::string>{}(std::string(test->name()) + (kind == PeerKind::kNeverReads ? "r" : "a"));
  std::string error;
  for (int attempt = 0; attempt < 16; ++attempt, hash += 0x100) {
    std::string address = "127.77." + std::to_string(hash % 256) + "." + std::to_string(1 + (hash >> 8) % 254);
    if (!parts_->server.Start(address, 9100, &error)) continue;
    address_.sin_family = AF_INET;
    address_.sin_port = htons(9100);
    address_.sin_addr.s_addr = inet_addr(address.c_str());
    return;
  }
  ADD_FAILURE() << "no loopback peer: " << error;
}

LoopbackPeer::~LoopbackPeer() = default;

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
