// The printer's binary command language, ACL, reached through a PJL envelope. Every exchange:
// PJL_UEL, PJL_ENTERLANG, one 16-byte command record, optional data, one 16-byte reply record,
// optional reply payload, and a closing PJL_UEL. All multi-byte fields are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

// Universal Exit Language: ESC "%-12345X" (9 bytes, sent without terminator).
extern const char PJL_UEL[];
constexpr size_t PJL_UEL_LENGTH = 9;
// Switches the printer to ACL (25 bytes, sent without terminator).
extern const char PJL_ENTERLANG[];
constexpr size_t PJL_ENTERLANG_LENGTH = 25;

constexpr size_t ACL_RECORD_SIZE = 16;
constexpr uint16_t ACL_PREFIX = 0x00AC;
constexpr uint16_t ACLCMD_STATUS_SUCCESS = 1;

// Command codes.
constexpr uint16_t ACLCMD_GET_VERSION = 1;      // reply: version digits at bytes 6..13
constexpr uint16_t ACLCMD_GET_DEVICE_ID = 6;    // payload: IEEE 1284 device ID (2-byte length, then text)
constexpr uint16_t ACLCMD_BURN_FLASH = 15;      // parameters: target, checksum, length; reply: status only
constexpr uint16_t ACLCMD_GET_BUILD_INFO = 19;  // payload: build information text

// Size of the buffer the version digits are converted in.
constexpr size_t ACL_VERSION_BUFFER = 1024;

// Command record: prefix (0..1), cmdID (2..3), parameter 1 (4..5: flash target), parameter 2
// (6..7: image checksum), parameter 3 (8..11: always 0), parameter 4 (12..15: image length).
struct AclCommand {
  uint8_t bytes[ACL_RECORD_SIZE];

  // Zero-fills the record, then sets the prefix, the code and the burn parameters.
  void Set(uint16_t cmdID, uint16_t target = 0, uint16_t checksum = 0, uint32_t length = 0);
  void Clear();
  uint16_t cmdID() const;
};

// Reply record: prefix (0..1), cmdID (2..3), cmdStatus (4..5), then either the payload length
// (6..7) of an information command or the version digits (6..13) of ACLCMD_GET_VERSION.
struct AclReply {
  uint8_t bytes[ACL_RECORD_SIZE];

  void Clear();
  uint16_t prefix() const;
  uint16_t cmdID() const;
  uint16_t cmdStatus() const;
  uint16_t payloadLength() const;
  // The firmware version carried by a version reply (see AclVersionValue).
  long version() const;

  bool PrefixOk() const { return prefix() == ACL_PREFIX; }
  bool EchoesCommand(uint16_t code) const { return cmdID() == code; }
  bool StatusOk() const { return cmdStatus() == ACLCMD_STATUS_SUCCESS; }
};

// Decimal value of version digits: the 8 bytes are placed in a zero-filled buffer of
// ACL_VERSION_BUFFER bytes and read as a decimal integer (leading white space skipped, optional
// sign, digits up to the first other byte); no digits give 0.
long AclVersionValue(const uint8_t digits[8]);

uint16_t ReadBigEndian16(const uint8_t* bytes);
void WriteBigEndian16(uint8_t* bytes, uint16_t value);
void WriteBigEndian32(uint8_t* bytes, uint32_t value);
