#include "printer/printer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace simprinter {
namespace {

const uint8_t kUel[] = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
constexpr size_t kUelSize = sizeof kUel;
const char kEnterAcl[] = "@PJL ENTER LANGUAGE=ACL";
constexpr size_t kLongestPjlLine = 256;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Get32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) | (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

}  // namespace

const char* CommandName(uint16_t code) {
  switch (code) {
    case kCmdGetVersion: return "GET_VERSION";
    case kCmdGetDeviceId: return "GET_DEVICE_ID";
    case kCmdBurnFlash: return "BURN_FLASH";
    case kCmdGetBuildInfo: return "GET_BUILD_INFO";
    default: return "unknown";
  }
}

void Printer::AddFault(const FaultRule& rule) {
  std::lock_guard<std::mutex> guard(lock_);
  rules_.push_back(rule);
}

void Printer::ClearFaults() {
  std::lock_guard<std::mutex> guard(lock_);
  rules_.clear();
}

ReplyFaults Printer::TakeFaults(uint16_t command) {
  std::lock_guard<std::mutex> guard(lock_);
  for (FaultRule& rule : rules_) {
    if (rule.command != 0 && rule.command != command) continue;
    if (rule.skip > 0) {
      --rule.skip;
      continue;
    }
    if (rule.times == 0) continue;
    if (rule.times > 0) --rule.times;
    return rule.faults;
  }
  return {};
}

void Printer::SetDropAfterReceived(std::optional<size_t> bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  dropAfterReceived_ = bytes;
}

std::optional<size_t> Printer::DropAfterReceived() const {
  std::lock_guard<std::mutex> guard(lock_);
  return dropAfterReceived_;
}

void Printer::SetReadFaults(const ReadFaults& faults) {
  std::lock_guard<std::mutex> guard(lock_);
  readFaults_ = faults;
}

ReadFaults Printer::GetReadFaults() const {
  std::lock_guard<std::mutex> guard(lock_);
  return readFaults_;
}

void Printer::Record(Event event) {
  std::function<void(const Event&)> listener;
  {
    std::lock_guard<std::mutex> guard(lock_);
    events_.push_back(event);
    listener = listener_;
  }
  if (listener) listener(event);
}

std::vector<Event> Printer::Events() const {
  std::lock_guard<std::mutex> guard(lock_);
  return events_;
}

std::vector<uint16_t> Printer::Commands() const {
  std::vector<uint16_t> codes;
  for (const Event& event : Events()) {
    if (event.kind == Event::kCommand) codes.push_back(event.command);
  }
  return codes;
}

int Printer::Count(Event::Kind kind) const {
  auto events = Events();
  return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.kind == kind; }));
}

void Printer::OnEvent(std::function<void(const Event&)> listener) {
  std::lock_guard<std::mutex> guard(lock_);
  listener_ = std::move(listener);
}

std::vector<Piece> Session::Receive(const uint8_t* data, size_t size) {
  std::vector<Piece> out;
  if (closed_) return out;
  auto limit = printer_.DropAfterReceived();
  bool drop = false;
  if (limit && received_ + size >= *limit) {
    size = *limit - std::min(*limit, received_);
    drop = true;
  }
  received_ += size;
  buffer_.insert(buffer_.end(), data, data + size);
  Process(&out);
  // A reply that closed the connection ends the session before the drop could happen.
  if (drop && !closed_) {
    printer_.Record({Event::kDropped, 0, Format("connection dropped after %zu received bytes", received_)});
    out.push_back(Piece{0, {}, true});
    closed_ = true;
  }
  if (closed_) buffer_.clear();
  return out;
}

bool Session::TakeUel() {
  if (buffer_.size() < kUelSize || std::memcmp(buffer_.data(), kUel, kUelSize) != 0) return false;
  buffer_.erase(buffer_.begin(), buffer_.begin() + kUelSize);
  printer_.Record({Event::kUel, 0, "UEL"});
  state_ = State::kPjl;
  return true;
}

bool Session::TakeEscape() {
  if (buffer_.size() < kUelSize) return false;
  if (!TakeUel()) state_ = State::kIgnore;  // an escape sequence of its own: not for this printer
  return true;
}

void Session::Process(std::vector<Piece>* out) {
  // Records still buffered behind a reply that closed the connection never reach the printer.
  while (!closed_) {
    switch (state_) {
      case State::kIgnore: {
        // Anything outside a PJL envelope is skipped up to the next UEL.
        auto it = std::search(buffer_.begin(), buffer_.end(), std::begin(kUel), std::end(kUel));
        if (it == buffer_.end()) {
          size_t keep = std::min(buffer_.size(), kUelSize - 1);
          buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<long>(keep));
          return;
        }
        buffer_.erase(buffer_.begin(), it);
        TakeUel();
        break;
      }
      case State::kPjl: {
        if (buffer_.empty()) return;
        if (buffer_[0] == kUel[0]) {
          if (!TakeEscape()) return;
          break;
        }
        // A line longer than the limit is not PJL, whether its end has arrived or not: the
        // printer then looks for the next UEL from the line's start, so the answer does not
        // depend on how the stream was split.
        auto end = std::find(buffer_.begin(), buffer_.end(), '\n');
        if (static_cast<size_t>(end - buffer_.begin()) > kLongestPjlLine) {
          state_ = State::kIgnore;
          break;
        }
        if (end == buffer_.end()) return;
        std::string line(buffer_.begin(), end);
        buffer_.erase(buffer_.begin(), end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == kEnterAcl) {
          printer_.Record({Event::kEnterAcl, 0, "ENTER LANGUAGE=ACL"});
          state_ = State::kAcl;
        } else if (line.compare(0, 4, "@PJL") != 0) {
          state_ = State::kIgnore;  // print data: nothing this printer answers
        }
        break;
      }
      case State::kAcl: {
        if (buffer_.empty()) return;
        if (buffer_[0] == kUel[0]) {
          if (!TakeEscape()) return;
          break;
        }
        if (buffer_.size() < kRecordSize) return;
        uint8_t record[kRecordSize];
        std::memcpy(record, buffer_.data(), kRecordSize);
        buffer_.erase(buffer_.begin(), buffer_.begin() + kRecordSize);
        HandleRecord(record, out);
        break;
      }
      case State::kImage: {
        size_t take = std::min<size_t>(buffer_.size(), burnLength_ - image_.size());
        image_.insert(image_.end(), buffer_.begin(), buffer_.begin() + static_cast<long>(take));
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(take));
        if (image_.size() < burnLength_) return;
        FinishBurn(out);
        break;
      }
    }
  }
}

void Session::HandleRecord(const uint8_t* record, std::vector<Piece>* out) {
  uint16_t prefix = Get16(record);
  uint16_t code = Get16(record + 2);
  if (prefix != kAclPrefix) {
    // Not a command: the printer leaves ACL and waits for the next UEL.
    printer_.Record({Event::kBadRecord, code, Format("record with prefix 0x%04X ignored", prefix)});
    state_ = State::kIgnore;
    return;
  }
  printer_.Record({Event::kCommand, code, Format("command 0x%02X %s", code, CommandName(code))});
  uint8_t field[8] = {};
  switch (code) {
    case kCmdGetVersion: {
      std::string digits = printer_.Model().VersionDigits();
      std::memcpy(field, digits.data(), std::min<size_t>(digits.size(), sizeof field));
      Reply(code, kStatusSuccess, field, {}, false, out);
      return;
    }
    case kCmdGetDeviceId:
      Reply(code, kStatusSuccess, field, printer_.Model().DeviceIdPayload(), true, out);
      return;
    case kCmdGetBuildInfo: {
      std::string text = printer_.Model().BuildInfo();
      Reply(code, kStatusSuccess, field, std::vector<uint8_t>(text.begin(), text.end()), true, out);
      return;
    }
    case kCmdBurnFlash:
      burnTarget_ = Get16(record + 4);
      burnChecksum_ = Get16(record + 6);
      burnLength_ = Get32(record + 12);
      image_.clear();
      if (burnLength_ == 0 || burnLength_ > kFlashSize) {
        printer_.Record({Event::kBurnRefused, code, Format("burn refused: image length %u", burnLength_)});
        Reply(code, kStatusBadImage, field, {}, false, out);
        state_ = State::kIgnore;  // the image bytes that follow are not commands
        return;
      }
      state_ = State::kImage;
      return;
    default:
      Reply(code, kStatusFailed, field, {}, false, out);
      return;
  }
}

void Session::FinishBurn(std::vector<Piece>* out) {
  uint32_t length = burnLength_;
  uint16_t computed = ImageChecksum(image_.data(), image_.size());
  BurnResult result = printer_.Model().Burn(burnTarget_, burnChecksum_, std::move(image_));
  image_.clear();
  state_ = State::kAcl;
  if (result.status == kStatusSuccess) {
    printer_.Record({Event::kBurnAccepted, kCmdBurnFlash,
                     Format("burn accepted: %u bytes, target %u, checksum 0x%04X, version %d", length, burnTarget_,
                            burnChecksum_, result.version)});
  } else {
    printer_.Record({Event::kBurnRefused, kCmdBurnFlash,
                     Format("burn refused (status %u): %u bytes, target %u, checksum 0x%04X announced, 0x%04X computed, "
                            "version %d",
                            result.status, length, burnTarget_, burnChecksum_, computed, result.version)});
  }
  uint8_t field[8] = {};
  Reply(kCmdBurnFlash, result.status, field, {}, false, out);
}

void Session::Reply(uint16_t code, uint16_t status, const uint8_t field[8], std::vector<uint8_t> payload,
                    bool hasPayload, std::vector<Piece>* out) {
  ReplyFaults faults = printer_.TakeFaults(code);
  if (faults.silent) return;
  if (faults.payload) payload.assign(faults.payload->begin(), faults.payload->end());

  std::vector<uint8_t> stream(kRecordSize);
  Put16(&stream[0], faults.prefix.value_or(kAclPrefix));
  Put16(&stream[2], faults.command.value_or(code));
  Put16(&stream[4], faults.status.value_or(status));
  std::memcpy(&stream[6], field, 8);
  if (hasPayload || faults.payload) Put16(&stream[6], static_cast<uint16_t>(std::min<size_t>(payload.size(), 0xFFFF)));
  if (faults.payloadLength) Put16(&stream[6], *faults.payloadLength);
  stream.insert(stream.end(), payload.begin(), payload.end());

  const size_t before = out->size();
  bool close = false;
  if (faults.closeAfterBytes && *faults.closeAfterBytes < stream.size()) {
    stream.resize(*faults.closeAfterBytes);
    close = true;
  }
  size_t offset = 0;
  int delay = faults.delayMs;
  for (size_t size : faults.pieces) {
    if (offset >= stream.size()) break;
    size = std::min(size, stream.size() - offset);
    out->push_back(Piece{delay, std::vector<uint8_t>(stream.begin() + static_cast<long>(offset),
                                                     stream.begin() + static_cast<long>(offset + size)),
                         false});
    offset += size;
    delay = faults.pieceGapMs;
  }
  if (offset < stream.size() || close || out->size() == before) {
    out->push_back(Piece{delay, std::vector<uint8_t>(stream.begin() + static_cast<long>(offset), stream.end()), false});
  }
  out->back().close = close;
  if (close) closed_ = true;
}

}  // namespace simprinter
