#include "engine/acl_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const AclCommand& command) { return {command.bytes, command.bytes + ACL_RECORD_SIZE}; }

TEST(AclEnvelope, TextsAreExact) {
  EXPECT_EQ(std::memcmp(PJL_UEL, "\x1b%-12345X", PJL_UEL_LENGTH), 0);
  EXPECT_EQ(std::memcmp(PJL_ENTERLANG, "@PJL ENTER LANGUAGE=ACL\r\n", PJL_ENTERLANG_LENGTH), 0);
}

TEST(AclCommandRecord, InformationCommandsCarryOnlyPrefixAndCode) {
  AclCommand command;
  command.Set(ACLCMD_GET_VERSION);
  EXPECT_EQ(Bytes(command), (std::vector<uint8_t>{0x00, 0xAC, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  command.Set(ACLCMD_GET_DEVICE_ID);
  EXPECT_EQ(Bytes(command), (std::vector<uint8_t>{0x00, 0xAC, 0x00, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  command.Set(ACLCMD_GET_BUILD_INFO);
  EXPECT_EQ(Bytes(command), (std::vector<uint8_t>{0x00, 0xAC, 0x00, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(command.cmdID(), ACLCMD_GET_BUILD_INFO);
}

TEST(AclCommandRecord, BurnCarriesTargetChecksumAndLengthBigEndian) {
  AclCommand command;
  command.Set(ACLCMD_BURN_FLASH, 4, 0xBEEF, 0x01020304);
  EXPECT_EQ(Bytes(command),
            (std::vector<uint8_t>{0x00, 0xAC, 0x00, 0x0F, 0x00, 0x04, 0xBE, 0xEF, 0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04}));
  // Setting again zero-fills first: nothing of the burn remains in a later command.
  command.Set(ACLCMD_GET_VERSION);
  EXPECT_EQ(Bytes(command), (std::vector<uint8_t>{0x00, 0xAC, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(AclReplyRecord, FieldsAreReadBigEndian) {
  AclReply reply{{0x00, 0xAC, 0x00, 0x13, 0x00, 0x01, 0x04, 0x00, 9, 9, 9, 9, 9, 9, 9, 9}};
  EXPECT_EQ(reply.prefix(), ACL_PREFIX);
  EXPECT_EQ(reply.cmdID(), ACLCMD_GET_BUILD_INFO);
  EXPECT_EQ(reply.cmdStatus(), 1);
  EXPECT_EQ(reply.payloadLength(), 1024);
  EXPECT_TRUE(reply.PrefixOk());
  EXPECT_TRUE(reply.EchoesCommand(ACLCMD_GET_BUILD_INFO));
  EXPECT_FALSE(reply.EchoesCommand(ACLCMD_GET_VERSION));
  EXPECT_TRUE(reply.StatusOk());

  AclReply bad{{0xAC, 0x00, 0x00, 0x13, 0x00, 0x02}};
  EXPECT_FALSE(bad.PrefixOk());  // little-endian prefix is not the prefix
  EXPECT_FALSE(bad.StatusOk());
  bad.Clear();
  EXPECT_EQ(bad.prefix(), 0);
}

long Version(const char (&digits)[9]) {
  AclReply reply{};
  std::memcpy(reply.bytes + 6, digits, 8);
  return reply.version();
}

TEST(AclVersionDigits, ConvertAsDecimalText) {
  EXPECT_EQ(Version("00000215"), 215);
  EXPECT_EQ(Version("12345678"), 12345678);
  EXPECT_EQ(Version("   \t 42 "), 42);   // leading white space skipped
  EXPECT_EQ(Version("+0000007"), 7);
  EXPECT_EQ(Version("-0000003"), -3);
  EXPECT_EQ(Version("215abcde"), 215);   // digits up to the first other byte
  EXPECT_EQ(Version("x0000215"), 0);     // no digits first: 0
  EXPECT_EQ(Version("--000215"), 0);
  EXPECT_EQ(Version("        "), 0);
  const uint8_t withNull[8] = {'2', '1', 0, '9', '9', '9', '9', '9'};
  EXPECT_EQ(AclVersionValue(withNull), 21);
}

}  // namespace
