// printer-server: a simulated printer on a TCP address (a network printer) or a pseudo-terminal (a
// USB or parallel printer's device), for end-to-end runs and demos.
// It logs each command it receives and each burn it accepts or refuses on standard output.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "printer/printer.h"
#include "printer/pty_server.h"
#include "printer/tcp_server.h"

namespace {

const char kUsage[] =
    "usage: printer-server [options]\n"
    "  --address A          IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port N             TCP port (default 9100)\n"
    "  --pty-link PATH      serve a pseudo-terminal in raw mode and make PATH a symlink to it;\n"
    "                       TCP is then served only when --address or --port is given\n"
    "  --model TEXT         model name in the device ID (default \"TV Vexline Q5530n MFP\")\n"
    "  --device-id TEXT     whole IEEE 1284 device ID text (default built from --model)\n"
    "  --culture TEXT       front-panel culture in the build information (default WESTERN)\n"
    "  --fw A,B,C           the three firmware fields of the build information\n"
    "  --build-info TEXT    whole build information text (default \"FW:A, B, C; PANEL: culture;\")\n"
    "  --version N          firmware version (default 215)\n"
    "Reply faults (for every command, or only the one named by --fault-command):\n"
    "  --fault-command N    apply the faults below only to ACL command N (1, 6, 15, 19)\n"
    "  --fault-skip N       let N matching exchanges pass before the faults start\n"
    "  --fault-times N      commit the faults N times (default: always)\n"
    "  --delay MS           wait before replying\n"
    "  --split N,N,...      send the reply in pieces of these sizes\n"
    "  --piece-gap MS       pause between pieces (default 200)\n"
    "  --silent             never reply\n"
    "  --prefix N           reply prefix instead of 0xAC\n"
    "  --command N          reply command code instead of the echo\n"
    "  --status N           reply status instead of the real one\n"
    "  --payload-length N   payload length announced in reply bytes 6..7\n"
    "  --close-after N      close the connection after N reply bytes\n"
    "  --drop-after N       close every connection after receiving N bytes\n"
    "  --stall-after N      stop reading each connection after N received bytes, keeping it open\n"
    "  --never-accept       accept no connection: the accept queue stays full, connects never complete\n"
    "Numbers may be decimal or 0x-prefixed hexadecimal.\n";

bool Number(const char* text, unsigned long* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtoul(text, &end, 0);
  return errno == 0 && end != text && *end == '\0' && text[0] != '-';
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    while (!part.empty() && part.front() == ' ') part.erase(0, 1);
    parts.push_back(part);
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "printer-server: %s\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string address = "127.0.0.1";
  unsigned long port = 9100;
  simprinter::PrinterSettings settings;
  simprinter::FaultRule rule;
  bool faulty = false;
  std::optional<size_t> dropAfter;
  simprinter::ReadFaults reading;
  bool neverAccept = false;
  std::string ptyLink;
  bool tcpAsked = false;

  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (option == "--silent") {
      rule.faults.silent = faulty = true;
      continue;
    }
    if (option == "--never-accept") {
      neverAccept = true;
      continue;
    }
    if (i + 1 >= argc) return Fail("missing value for " + option);
    const char* value = argv[++i];
    unsigned long n = 0;
    bool numeric = Number(value, &n);
    auto need = [&](unsigned long max) { return numeric && n <= max; };
    if (option == "--address") {
      address = value;
      tcpAsked = true;
    } else if (option == "--port" && need(65535)) {
      port = n;
      tcpAsked = true;
    } else if (option == "--pty-link") {
      ptyLink = value;
    } else if (option == "--model") {
      settings.model = value;
    } else if (option == "--device-id") {
      settings.deviceId = value;
    } else if (option == "--culture") {
      settings.culture = value;
    } else if (option == "--build-info") {
      settings.buildInfo = value;
    } else if (option == "--fw") {
      auto parts = Split(value);
      if (parts.size() != 3) return Fail("--fw takes three fields separated by commas");
      for (int f = 0; f < 3; ++f) settings.firmwareFields[f] = parts[static_cast<size_t>(f)];
    } else if (option == "--version" && need(simprinter::kHighestVersion)) {
      settings.version = static_cast<uint32_t>(n);
    } else if (option == "--fault-command" && need(0xFFFF)) {
      rule.command = static_cast<uint16_t>(n);
    } else if (option == "--fault-skip" && need(1000000)) {
      rule.skip = static_cast<int>(n);
    } else if (option == "--fault-times" && need(1000000)) {
      rule.times = static_cast<int>(n);
    } else if (option == "--delay" && need(3600000)) {
      rule.faults.delayMs = static_cast<int>(n);
      faulty = true;
    } else if (option == "--piece-gap" && need(3600000)) {
      rule.faults.pieceGapMs = static_cast<int>(n);
    } else if (option == "--split") {
      for (const std::string& part : Split(value)) {
        unsigned long size = 0;
        if (!Number(part.c_str(), &size) || size == 0 || size > 65536) return Fail("bad --split size: " + part);
        rule.faults.pieces.push_back(size);
      }
      faulty = true;
    } else if (option == "--prefix" && need(0xFFFF)) {
      rule.faults.prefix = static_cast<uint16_t>(n);
      faulty = true;
    } else if (option == "--command" && need(0xFFFF)) {
      rule.faults.command = static_cast<uint16_t>(n);
      faulty = true;
    } else if (option == "--status" && need(0xFFFF)) {
      rule.faults.status = static_cast<uint16_t>(n);
      faulty = true;
    } else if (option == "--payload-length" && need(0xFFFF)) {
      rule.faults.payloadLength = static_cast<uint16_t>(n);
      faulty = true;
    } else if (option == "--close-after" && need(1u << 20)) {
      rule.faults.closeAfterBytes = n;
      faulty = true;
    } else if (option == "--drop-after" && need(1ul << 32)) {
      dropAfter = n;
    } else if (option == "--stall-after" && need(1ul << 32)) {
      reading.stallAfter = n;
    } else {
      return Fail("bad option or value: " + option + " " + value);
    }
  }

  simprinter::Printer printer(settings);
  if (faulty) printer.AddFault(rule);
  printer.SetDropAfterReceived(dropAfter);
  printer.SetReadFaults(reading);
  std::mutex outputLock;
  printer.OnEvent([&](const simprinter::Event& event) {
    if (event.kind == simprinter::Event::kUel || event.kind == simprinter::Event::kEnterAcl) return;
    std::lock_guard<std::mutex> guard(outputLock);
    std::printf("%s\n", event.text.c_str());
    std::fflush(stdout);
  });

  // SIGINT and SIGTERM end the server; they are taken with sigwait, not a handler.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  simprinter::TcpServer server(printer);
  if (neverAccept) server.AcceptNothing();
  simprinter::PtyServer pty(printer);
  std::string error;
  std::string where;
  if (ptyLink.empty() || tcpAsked) {
    if (!server.Start(address, static_cast<uint16_t>(port), &error)) {
      std::fprintf(stderr, "printer-server: %s\n", error.c_str());
      return 1;
    }
    where = address + ":" + std::to_string(port);
  }
  if (!ptyLink.empty()) {
    if (!pty.Start(ptyLink, &error)) {
      std::fprintf(stderr, "printer-server: %s\n", error.c_str());
      return 1;
    }
    where += (where.empty() ? "" : " and ") + ptyLink + " -> " + pty.SlavePath();
  }
  std::printf("printer-server: %s on %s, version %s, device ID \"%s\", build information \"%s\"\n",
              settings.model.c_str(), where.c_str(), printer.Model().VersionDigits().c_str(),
              printer.Model().DeviceId().c_str(), printer.Model().BuildInfo().c_str());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stopSignals, &signal);
  // The terminal closes only now, when the lab has ended the programs that held its device.
  pty.Stop();
  server.Stop();
  std::printf("printer-server: stopped (%d connections)\n", server.Connections());
  return 0;
}
