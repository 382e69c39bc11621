// The simulated printer's protocol engine: the same byte stream, fed whole to one printer and in
// input-chosen pieces to a twin with the same model and fault rules, must give the same replies
// (bytes, pauses, closes), the same events and the same printer state. Nothing follows a close.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "printer/printer.h"

namespace {

using fuzzing::Check;
using simprinter::Event;
using simprinter::Piece;

// A fault rule described by the input.
simprinter::FaultRule ReadRule(fuzzing::InputReader& in) {
  const uint16_t commands[] = {0, simprinter::kCmdGetVersion, simprinter::kCmdGetDeviceId,
                               simprinter::kCmdBurnFlash, simprinter::kCmdGetBuildInfo};
  simprinter::FaultRule rule;
  rule.command = commands[in.U8() % 5];
  rule.skip = in.U8() % 4;
  rule.times = static_cast<int>(in.U8() % 5) - 1;
  uint8_t what = in.U8();
  simprinter::ReplyFaults& faults = rule.faults;
  faults.delayMs = in.U8();
  for (int count = in.U8() % 4; count > 0; --count) faults.pieces.push_back(in.U8());
  faults.silent = what & 1;
  if (what & 2) faults.prefix = in.U16();
  if (what & 4) faults.command = in.U16();
  if (what & 8) faults.status = in.U16();
  if (what & 16) faults.payloadLength = in.U16();
  if (what & 32) faults.payload = in.ShortBytes();
  if (what & 64) faults.closeAfterBytes = in.U16() % 64;
  return rule;
}

struct Run {
  std::vector<Piece> pieces;
  bool closed = false;
};

bool SamePieces(const std::vector<Piece>& a, const std::vector<Piece>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].delayMs != b[i].delayMs || a[i].bytes != b[i].bytes || a[i].close != b[i].close) return false;
  }
  return true;
}

bool SameEvents(const std::vector<Event>& a, const std::vector<Event>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].kind != b[i].kind || a[i].command != b[i].command || a[i].text != b[i].text) return false;
  }
  return true;
}

// Feeds `stream` in pieces of the given sizes (the rest last) and checks that nothing is sent
// or recorded once a piece closed the connection.
Run Feed(simprinter::Printer& printer, const std::string& stream, const std::vector<size_t>& sizes) {
  simprinter::Session session(printer);
  Run run;
  size_t at = 0;
  auto feed = [&](size_t count) {
    size_t eventsBefore = printer.Events().size();
    bool closedBefore = session.Closed();
    std::vector<Piece> out = session.Receive(reinterpret_cast<const uint8_t*>(stream.data()) + at, count);
    at += count;
    if (closedBefore) Check(out.empty() && printer.Events().size() == eventsBefore, "nothing happens after a close");
    for (size_t i = 0; i < out.size(); ++i) {
      Check(!out[i].close || i + 1 == out.size(), "a closing piece is the last one");
    }
    run.pieces.insert(run.pieces.end(), out.begin(), out.end());
  };
  for (size_t size : sizes) feed(std::min(size, stream.size() - at));
  feed(stream.size() - at);
  run.closed = session.Closed();
  Check(run.closed == (!run.pieces.empty() && run.pieces.back().close), "the session is closed after a closing piece");
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::InputReader in(data, size);
  simprinter::PrinterSettings settings;
  settings.version = in.U16();
  std::vector<simprinter::FaultRule> rules;
  for (int count = in.U8() % 4; count > 0; --count) rules.push_back(ReadRule(in));
  uint8_t dropFlag = in.U8();
  uint16_t dropAfter = in.U16();
  std::vector<size_t> sizes;
  for (int count = in.U8() % 32; count > 0; --count) sizes.push_back(in.U16() % 512);
  std::string stream = in.Rest();

  simprinter::Printer whole(settings);
  simprinter::Printer split(settings);
  for (const auto& rule : rules) {
    whole.AddFault(rule);
    split.AddFault(rule);
  }
  if (dropFlag & 1) {
    whole.SetDropAfterReceived(dropAfter);
    split.SetDropAfterReceived(dropAfter);
  }

  Run a = Feed(whole, stream, {});
  Run b = Feed(split, stream, sizes);
  Check(SamePieces(a.pieces, b.pieces), "the same replies whatever the split");
  Check(a.closed == b.closed, "the same close whatever the split");
  Check(SameEvents(whole.Events(), split.Events()), "the same events whatever the split");
  Check(whole.Model().VersionDigits() == split.Model().VersionDigits() &&
            whole.Model().BurnCount() == split.Model().BurnCount(),
        "the same printer state whatever the split");
  return 0;
}
