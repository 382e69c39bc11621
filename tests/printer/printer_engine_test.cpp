// The simulated printer's wire behaviour, fed byte streams directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printer/printer.h"

namespace simprinter {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kUel = "\x1B%-12345X";
const std::string kEnter = "@PJL ENTER LANGUAGE=ACL\r\n";

Bytes Record(uint16_t code, uint16_t target = 0, uint16_t checksum = 0, uint32_t length = 0, uint16_t prefix = 0xAC) {
  return {uint8_t(prefix >> 8), uint8_t(prefix),   uint8_t(code >> 8),   uint8_t(code),
          uint8_t(target >> 8), uint8_t(target),   uint8_t(checksum >> 8), uint8_t(checksum),
          0, 0, 0, 0,
          uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length)};
}

Bytes Query(uint16_t code) {
  Bytes stream(kUel.begin(), kUel.end());
  stream.insert(stream.end(), kEnter.begin(), kEnter.end());
  Bytes record = Record(code);
  stream.insert(stream.end(), record.begin(), record.end());
  return stream;
}

Bytes Joined(const std::vector<Piece>& pieces) {
  Bytes all;
  for (const Piece& piece : pieces) all.insert(all.end(), piece.bytes.begin(), piece.bytes.end());
  return all;
}

uint16_t Field(const Bytes& reply, size_t offset) { return uint16_t((reply[offset] << 8) | reply[offset + 1]); }

// An image with the trailer "FWIMG\0<version>\0<length byte>".
Bytes Image(const std::string& body, const std::string& version) {
  std::string trailer = std::string("FWIMG") + '\0' + version + '\0';
  trailer += char(trailer.size() + 1);
  std::string all = "\xAA\x55\x41\x54" + body + trailer;
  return Bytes(all.begin(), all.end());
}

Bytes BurnStream(const Bytes& image, uint16_t target, uint16_t checksum) {
  Bytes stream(kUel.begin(), kUel.end());
  stream.insert(stream.end(), kEnter.begin(), kEnter.end());
  Bytes record = Record(15, target, checksum, uint32_t(image.size()));
  stream.insert(stream.end(), record.begin(), record.end());
  stream.insert(stream.end(), image.begin(), image.end());
  return stream;
}

std::vector<Piece> Feed(Session& session, const Bytes& bytes) { return session.Receive(bytes.data(), bytes.size()); }

TEST(ImageChecks, ChecksumAndTrailerVersion) {
  EXPECT_EQ(ImageChecksum(reinterpret_cast<const uint8_t*>("abc"), 3), 0x9E3A);
  EXPECT_EQ(ImageChecksum(reinterpret_cast<const uint8_t*>("ab"), 2), 0x9E9D);
  EXPECT_EQ(ImageChecksum(nullptr, 0), 0xFFFF);
  // 65536 pairs of 0xFFFF sum to 0xFFFF0000, negative as a signed sum: the fold shifts the sign
  // in (0xFFFFFFFF, then 0xFFFE), so the checksum is 0x0001, not the unsigned fold's 0x0000.
  Bytes ones(1 << 17, 0xFF);
  EXPECT_EQ(ImageChecksum(ones.data(), ones.size()), 0x0001);

  EXPECT_EQ(TrailerVersion(Image("body", "215")), 215);
  std::string zeroFirst = std::string("xx") + '\0' + "512" + '\0' + '\x06';
  EXPECT_EQ(TrailerVersion(Bytes(zeroFirst.begin(), zeroFirst.end())), 512);
  EXPECT_EQ(TrailerVersion({1, 2, 3, 0xF0}), 0);       // negative length byte
  EXPECT_EQ(TrailerVersion({'a', 'b', 0x30}), 0);        // trailer longer than the image
  std::string noZero(45, 'L');
  noZero += '\x2E';
  EXPECT_EQ(TrailerVersion(Bytes(noZero.begin(), noZero.end())), 0);  // label without its zero in 40 bytes
}

TEST(PrinterWire, AnswersTheThreeQueries) {
  PrinterSettings settings;
  settings.version = 215;
  settings.culture = "ASIAN";
  Printer printer(settings);
  Session session(printer);

  Bytes version = Joined(Feed(session, Query(1)));
  ASSERT_EQ(version.size(), 16u);
  EXPECT_EQ(Field(version, 0), 0xAC);
  EXPECT_EQ(Field(version, 2), 1);
  EXPECT_EQ(Field(version, 4), 1);
  EXPECT_EQ(std::string(version.begin() + 6, version.begin() + 14), "00000215");

  // The same session takes the closing UEL and a new envelope.
  Bytes id = Joined(Feed(session, Query(6)));
  std::string text = printer.Model().DeviceId();
  ASSERT_EQ(id.size(), 16 + 2 + text.size());
  EXPECT_EQ(Field(id, 6), 2 + text.size());   // payload length
  EXPECT_EQ(Field(id, 16), 2 + text.size());  // IEEE 1284 length, its own two bytes included
  EXPECT_EQ(std::string(id.begin() + 18, id.end()), text);

  Bytes info = Joined(Feed(session, Query(19)));
  std::string expected = "FW:Q5530n_V0215, ENGINE_0112, BOOT_0031; PANEL: ASIAN;";
  EXPECT_EQ(Field(info, 6), expected.size());
  EXPECT_EQ(std::string(info.begin() + 16, info.end()), expected);

  EXPECT_EQ(printer.Commands(), (std::vector<uint16_t>{1, 6, 19}));
  EXPECT_EQ(printer.Count(Event::kUel), 3);
}

TEST(PrinterWire, StreamArrivingByteByByteGivesOneReply) {
  Printer printer;
  Session session(printer);
  Bytes stream = Query(1);
  std::vector<Piece> pieces;
  for (uint8_t byte : stream) {
    auto some = session.Receive(&byte, 1);
    pieces.insert(pieces.end(), some.begin(), some.end());
  }
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].bytes.size(), 16u);
}

TEST(PrinterWire, IgnoresWhatIsNotACommand) {
  Printer printer;
  Session session(printer);
  // Print data before the envelope, another PJL line, and a record with a wrong prefix.
  std::string noise = "plain text\n" + kUel + "@PJL JOB NAME=x\r\n" + kEnter;
  Bytes stream(noise.begin(), noise.end());
  Bytes bad = Record(1, 0, 0, 0, 0xAD);
  stream.insert(stream.end(), bad.begin(), bad.end());
  EXPECT_TRUE(Feed(session, stream).empty());
  EXPECT_EQ(printer.Count(Event::kBadRecord), 1);
  // An unknown command is answered with a failure status.
  Bytes unknown = Joined(Feed(session, Query(0x42)));
  ASSERT_EQ(unknown.size(), 16u);
  EXPECT_EQ(Field(unknown, 2), 0x42);
  EXPECT_NE(Field(unknown, 4), 1);
}

TEST(PrinterBurn, AcceptedImageChangesVersionAndFlash) {
  Printer printer;
  Session session(printer);
  Bytes image = Image(std::string(1000, 'x'), "216");
  Bytes stream = BurnStream(image, 4, ImageChecksum(image.data(), image.size()));
  // The image arrives in two parts; the reply only after the last byte.
  size_t half = stream.size() - 300;
  EXPECT_TRUE(session.Receive(stream.data(), half).empty());
  Bytes reply = Joined(session.Receive(stream.data() + half, stream.size() - half));
  ASSERT_EQ(reply.size(), 16u);
  EXPECT_EQ(Field(reply, 2), 15);
  EXPECT_EQ(Field(reply, 4), 1);
  EXPECT_EQ(printer.Model().Flash(), image);
  EXPECT_EQ(printer.Model().FlashTarget(), 4);
  EXPECT_EQ(printer.Count(Event::kBurnAccepted), 1);

  Bytes version = Joined(Feed(session, Query(1)));
  EXPECT_EQ(std::string(version.begin() + 6, version.begin() + 14), "00000216");
}

TEST(PrinterBurn, RefusesBadImagesAndKeepsItsFirmware) {
  Bytes good = Image("body", "300");
  uint16_t sum = ImageChecksum(good.data(), good.size());
  Bytes noVersion = Image("body", "v1");
  struct Case {
    const char* what;
    Bytes image;
    uint16_t target, checksum, status;
  } cases[] = {
      {"checksum", good, 3, uint16_t(sum + 1), kStatusBadChecksum},
      {"target", good, 5, sum, kStatusBadTarget},
      {"no version", noVersion, 3, ImageChecksum(noVersion.data(), noVersion.size()), kStatusBadImage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Printer printer;
    Session session(printer);
    Bytes reply = Joined(Feed(session, BurnStream(c.image, c.target, c.checksum)));
    ASSERT_EQ(reply.size(), 16u);
    EXPECT_EQ(Field(reply, 4), c.status);
    EXPECT_EQ(printer.Model().Version(), 215u);
    EXPECT_TRUE(printer.Model().Flash().empty());
    EXPECT_EQ(printer.Count(Event::kBurnRefused), 1);
  }
}

TEST(PrinterBurn, ZeroLengthIsRefusedAtOnce) {
  Printer printer;
  Session session(printer);
  Bytes reply = Joined(Feed(session, BurnStream({}, 3, 0xFFFF)));
  ASSERT_EQ(reply.size(), 16u);
  EXPECT_EQ(Field(reply, 4), kStatusBadImage);
}

TEST(PrinterFaults, ShapeTheReply) {
  Printer printer;
  ReplyFaults split;
  split.delayMs = 50;
  split.pieces = {10, 4};
  split.pieceGapMs = 30;
  printer.AddFault({1, 0, 1, split});
  ReplyFaults fields;
  fields.prefix = 0xAD;
  fields.command = 2;
  fields.status = 0;
  printer.AddFault({1, 0, 1, fields});
  Session session(printer);

  auto pieces = Feed(session, Query(1));
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].bytes.size(), 10u);
  EXPECT_EQ(pieces[0].delayMs, 50);
  EXPECT_EQ(pieces[1].bytes.size(), 4u);
  EXPECT_EQ(pieces[2].bytes.size(), 2u);
  EXPECT_EQ(pieces[2].delayMs, 30);

  Bytes wrong = Joined(Feed(session, Query(1)));
  EXPECT_EQ(Field(wrong, 0), 0xAD);
  EXPECT_EQ(Field(wrong, 2), 2);
  EXPECT_EQ(Field(wrong, 4), 0);

  // Both rules are used up: the third reply is sound.
  Bytes sound = Joined(Feed(session, Query(1)));
  EXPECT_EQ(Field(sound, 0), 0xAC);
  EXPECT_EQ(Field(sound, 4), 1);
}

TEST(PrinterFaults, RulesMatchTheirCommandAndSkip) {
  Printer printer;
  ReplyFaults silent;
  silent.silent = true;
  printer.AddFault({19, 1, 1, silent});  // the second build-information query only
  Session session(printer);
  EXPECT_FALSE(Feed(session, Query(1)).empty());
  EXPECT_FALSE(Feed(session, Query(19)).empty());
  EXPECT_TRUE(Feed(session, Query(19)).empty());
  EXPECT_FALSE(Feed(session, Query(19)).empty());
}

TEST(PrinterFaults, PayloadLengthAndPayloadCanLie) {
  Printer printer;
  ReplyFaults faults;
  faults.payloadLength = 2000;
  faults.payload = std::string(1500, 'p');
  printer.AddFault({19, 0, -1, faults});
  Session session(printer);
  Bytes reply = Joined(Feed(session, Query(19)));
  EXPECT_EQ(Field(reply, 6), 2000);
  EXPECT_EQ(reply.size(), 16u + 1500u);
}

TEST(PrinterFaults, ConnectionClosesAtAChosenByte) {
  Printer printer;
  ReplyFaults faults;
  faults.closeAfterBytes = 5;
  printer.AddFault({6, 0, 1, faults});
  Session session(printer);
  auto pieces = Feed(session, Query(6));
  ASSERT_FALSE(pieces.empty());
  EXPECT_EQ(Joined(pieces).size(), 5u);
  EXPECT_TRUE(pieces.back().close);
  EXPECT_TRUE(session.Closed());
  EXPECT_TRUE(Feed(session, Query(1)).empty());

  // On the receiving side: the connection drops inside the burn image, with no reply.
  Printer dropping;
  dropping.SetDropAfterReceived(60);
  Session burn(dropping);
  Bytes image = Image(std::string(100, 'x'), "216");
  auto dropped = Feed(burn, BurnStream(image, 3, ImageChecksum(image.data(), image.size())));
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_TRUE(dropped[0].close);
  EXPECT_TRUE(dropped[0].bytes.empty());
  EXPECT_EQ(dropping.Model().BurnCount(), 0);
}

}  // namespace
}  // namespace simprinter

namespace simprinter {
namespace {

// Events as comparable text: kind, command and log line.
std::vector<std::string> EventLines(const Printer& printer) {
  std::vector<std::string> lines;
  for (const Event& event : printer.Events()) {
    lines.push_back(std::to_string(event.kind) + "/" + std::to_string(event.command) + " " + event.text);
  }
  return lines;
}

TEST(PrinterFaults, NothingHappensAfterAReplyClosedTheConnection) {
  Bytes image = Image(std::string(64, 'b'), "300");
  Bytes stream = Query(1);
  Bytes burn = Record(15, 3, ImageChecksum(image.data(), image.size()), uint32_t(image.size()));
  stream.insert(stream.end(), burn.begin(), burn.end());
  stream.insert(stream.end(), image.begin(), image.end());
  stream.insert(stream.end(), kUel.begin(), kUel.end());

  for (bool alsoDrop : {false, true}) {
    SCOPED_TRACE(alsoDrop ? "with a drop later in the same write" : "without a drop");
    Printer printer;
    ReplyFaults faults;
    faults.closeAfterBytes = 5;
    printer.AddFault({1, 0, 1, faults});
    if (alsoDrop) printer.SetDropAfterReceived(stream.size() - 2);
    Session session(printer);
    auto pieces = Feed(session, stream);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].bytes.size(), 5u);
    EXPECT_TRUE(pieces[0].close);
    // The burn behind the closing reply was never taken, and nothing was recorded after it.
    EXPECT_EQ(printer.Model().BurnCount(), 0);
    EXPECT_EQ(printer.Model().Version(), 215u);
    ASSERT_FALSE(printer.Events().empty());
    EXPECT_EQ(printer.Events().back().kind, Event::kCommand);
    EXPECT_EQ(printer.Commands(), (std::vector<uint16_t>{1}));
  }
}

TEST(PrinterWire, OverlongPjlLineGetsOneAnswerHoweverTheStreamIsSplit) {
  // A PJL line of more than 256 bytes with a UEL inside: the printer looks for the UEL from the
  // line's start, so the ENTER LANGUAGE behind it counts and the version query is answered.
  std::string text = kUel + "@PJL COMMENT " + std::string(300, 'x') + kUel + kEnter;
  Bytes stream(text.begin(), text.end());
  Bytes record = Record(1);
  stream.insert(stream.end(), record.begin(), record.end());

  Printer whole;
  Session wholeSession(whole);
  Bytes expected = Joined(Feed(wholeSession, stream));
  ASSERT_EQ(expected.size(), 16u);
  EXPECT_EQ(whole.Commands(), (std::vector<uint16_t>{1}));

  for (size_t piece : {size_t{1}, size_t{100}, size_t{280}, size_t{330}}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    Printer printer;
    Session session(printer);
    Bytes replies;
    for (size_t at = 0; at < stream.size(); at += piece) {
      size_t n = std::min(piece, stream.size() - at);
      Bytes some = Joined(session.Receive(stream.data() + at, n));
      replies.insert(replies.end(), some.begin(), some.end());
    }
    EXPECT_EQ(replies, expected);
    EXPECT_EQ(EventLines(printer), EventLines(whole));
  }
}

}  // namespace
}  // namespace simprinter
