#include "engine/acl_protocol.h"

#include <cstring>

const char PJL_UEL[] = "\x1B%-12345X";
const char PJL_ENTERLANG[] = "@PJL ENTER LANGUAGE=ACL\r\n";

static_assert(sizeof PJL_UEL - 1 == PJL_UEL_LENGTH, "PJL_UEL is 9 bytes");
static_assert(sizeof PJL_ENTERLANG - 1 == PJL_ENTERLANG_LENGTH, "PJL_ENTERLANG is 25 bytes");

uint16_t ReadBigEndian16(const uint8_t* bytes) { return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]); }

void WriteBigEndian16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value >> 8);
  bytes[1] = static_cast<uint8_t>(value);
}

void WriteBigEndian32(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value >> 24);
  bytes[1] = static_cast<uint8_t>(value >> 16);
  bytes[2] = static_cast<uint8_t>(value >> 8);
  bytes[3] = static_cast<uint8_t>(value);
}

void AclCommand::Clear() { std::memset(bytes, 0, sizeof bytes); }

void AclCommand::Set(uint16_t code, uint16_t target, uint16_t checksum, uint32_t length) {
  Clear();
  WriteBigEndian16(bytes + 0, ACL_PREFIX);
  WriteBigEndian16(bytes + 2, code);
  WriteBigEndian16(bytes + 4, target);
  WriteBigEndian16(bytes + 6, checksum);
  WriteBigEndian32(bytes + 12, length);
}

uint16_t AclCommand::cmdID() const { return ReadBigEndian16(bytes + 2); }

void AclReply::Clear() { std::memset(bytes, 0, sizeof bytes); }
uint16_t AclReply::prefix() const { return ReadBigEndian16(bytes + 0); }
uint16_t AclReply::cmdID() const { return ReadBigEndian16(bytes + 2); }
uint16_t AclReply::cmdStatus() const { return ReadBigEndian16(bytes + 4); }
uint16_t AclReply::payloadLength() const { return ReadBigEndian16(bytes + 6); }
long AclReply::version() const { return AclVersionValue(bytes + 6); }

long AclVersionValue(const uint8_t digits[8]) {
  // The digits are copied into a zero-filled buffer, so the text always ends within it.
  char text[ACL_VERSION_BUFFER] = {};
  std::memcpy(text, digits, 8);
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  long value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + (*p - '0');
    ++p;
  }
  return negative ? -value : value;
}
