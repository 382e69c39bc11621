// A simulated printer: its model, the faults it is told to commit, and a record of what it
// received. Connections (TCP, or a device of the simulated host) each run a Session on it.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "printer/printer_model.h"

namespace simprinter {

// ACL wire constants, as this printer understands them.
constexpr uint16_t kAclPrefix = 0x00AC;
constexpr uint16_t kCmdGetVersion = 1;
constexpr uint16_t kCmdGetDeviceId = 6;
constexpr uint16_t kCmdBurnFlash = 15;
constexpr uint16_t kCmdGetBuildInfo = 19;
constexpr size_t kRecordSize = 16;

const char* CommandName(uint16_t code);

// How one reply goes wrong. The reply stream is the 16-byte reply record followed by the
// payload of an information command.
struct ReplyFaults {
  int delayMs = 0;                  // before the first byte
  std::vector<size_t> pieces;       // sizes of the first pieces; the rest follows as one piece
  int pieceGapMs = 200;             // pause before each later piece
  bool silent = false;              // no reply at all (the connection stays open)
  std::optional<uint16_t> prefix;   // reply fields replaced
  std::optional<uint16_t> command;
  std::optional<uint16_t> status;
  std::optional<uint16_t> payloadLength;  // bytes 6..7 announce this instead of the payload's size
  std::optional<std::string> payload;     // sent instead of the model's payload
  std::optional<size_t> closeAfterBytes;  // the connection closes after this many reply bytes
};

// Faults for the exchanges of one command (0: any), after `skip` matching exchanges, for
// `times` exchanges (< 0: all later ones).
struct FaultRule {
  uint16_t command = 0;
  int skip = 0;
  int times = -1;
  ReplyFaults faults;
};

// How a TCP connection takes in what the host sends: it may stop reading after some bytes while
// keeping the connection open (a printer that wedged), or read slowly, a piece at a time.
struct ReadFaults {
  std::optional<size_t> stallAfter;  // bytes of each connection read before reading stops
  size_t pieceBytes = 0;             // read at most this many bytes at a time (0: no limit)
  int pieceGapMs = 0;                // pause before reading each later piece
};

struct Event {
  enum Kind { kUel, kEnterAcl, kCommand, kBurnAccepted, kBurnRefused, kBadRecord, kDropped, kStalled };
  Kind kind;
  uint16_t command = 0;
  std::string text;  // one log line
};

class Printer {
 public:
  explicit Printer(PrinterSettings settings = {}) : model_(std::move(settings)) {}

  PrinterModel& Model() { return model_; }

  void AddFault(const FaultRule& rule);
  void ClearFaults();
  // The faults for the next exchange of `command` (consumes one use of the matching rule).
  ReplyFaults TakeFaults(uint16_t command);

  // Every session drops its connection after receiving this many bytes (a device: fails the
  // write that goes past them).
  void SetDropAfterReceived(std::optional<size_t> bytes);
  std::optional<size_t> DropAfterReceived() const;
  void SetReadFaults(const ReadFaults& faults);
  ReadFaults GetReadFaults() const;

  void Record(Event event);
  std::vector<Event> Events() const;
  // Codes of the ACL commands received, in order.
  std::vector<uint16_t> Commands() const;
  int Count(Event::Kind kind) const;
  // Called for each event as it happens (the server program logs them).
  void OnEvent(std::function<void(const Event&)> listener);

 private:
  PrinterModel model_;
  mutable std::mutex lock_;
  std::vector<FaultRule> rules_;
  std::optional<size_t> dropAfterReceived_;
  ReadFaults readFaults_;
  std::vector<Event> events_;
  std::function<void(const Event&)> listener_;
};

// What a session wants sent: bytes after a pause, possibly closing the connection after them.
struct Piece {
  int delayMs = 0;
  std::vector<uint8_t> bytes;
  bool close = false;
};

// The byte-stream protocol engine of one connection: PJL UEL, "@PJL ENTER LANGUAGE=ACL",
// 16-byte ACL records, burn images, replies with their faults applied.
class Session {
 public:
  explicit Session(Printer& printer) : printer_(printer) {}

  // Feeds bytes the host sent; returns what to send back, in order.
  std::vector<Piece> Receive(const uint8_t* data, size_t size);
  // True once a piece closed the connection; later input is ignored.
  bool Closed() const { return closed_; }

 private:
  enum class State { kIgnore, kPjl, kAcl, kImage };

  void Process(std::vector<Piece>* out);
  // Takes a UEL at the start of the buffer. TakeEscape: at an ESC, takes the UEL or leaves the
  // envelope; false while more bytes are needed to tell.
  bool TakeUel();
  bool TakeEscape();
  void HandleRecord(const uint8_t* record, std::vector<Piece>* out);
  void FinishBurn(std::vector<Piece>* out);
  void Reply(uint16_t code, uint16_t status, const uint8_t field[8], std::vector<uint8_t> payload, bool hasPayload,
             std::vector<Piece>* out);

  Printer& printer_;
  State state_ = State::kIgnore;
  std::vector<uint8_t> buffer_;
  size_t received_ = 0;
  bool closed_ = false;
  // The burn in progress.
  uint16_t burnTarget_ = 0;
  uint16_t burnChecksum_ = 0;
  uint32_t burnLength_ = 0;
  std::vector<uint8_t> image_;
};

}  // namespace simprinter
