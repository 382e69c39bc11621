// IP address values: which texts are recognised as IPv4 or IPv6, which the socket library then
// converts, and how values are assigned and copied.
#include "net/ip_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "socket_library.h"

namespace {

class IPAddressTest : public ::testing::Test {
 protected:
  net_test::SocketLibrary sockets_;
};

TEST_F(IPAddressTest, DottedAddressesWithAndWithoutPortAreValidIPv4) {
  IPAddress plain(L"192.168.1.10");
  ASSERT_TRUE(plain.valid());
  EXPECT_EQ(plain.kind(), AddressKind::IPv4);
  const unsigned char expected[4] = {192, 168, 1, 10};
  EXPECT_EQ(std::vector<unsigned char>(plain.addressBytes(), plain.addressBytes() + 4),
            std::vector<unsigned char>(expected, expected + 4));

  IPAddress withPort(L"192.168.1.10:9100");
  ASSERT_TRUE(withPort.valid());
  EXPECT_EQ(withPort.kind(), AddressKind::IPv4);
  EXPECT_EQ(withPort.text(), L"192.168.1.10:9100");
  EXPECT_TRUE(IPAddress(L"0.0.0.0:65535").valid());
}

TEST_F(IPAddressTest, MalformedDottedTextsAreNotValidAndKeepTheirText) {
  for (const wchar_t* text : {L"1.2.3", L"256.1.1.1", L"1234.1.1.1", L"1.2.3.4.5", L"1.2.3.4:65536", L" 1.2.3.4",
                              L"1.2.3.4 ", L"+1.2.3.4", L"1.2.3.4:", L"1.2.3.4:80x", L"", L"printer01"}) {
    SCOPED_TRACE(testing::Message() << "text: \"" << std::string(text, text + wcslen(text)) << "\"");
    IPAddress address(text);
    EXPECT_FALSE(address.valid());
    EXPECT_EQ(address.kind(), AddressKind::None);
    EXPECT_EQ(address.addressBytes(), nullptr);
    EXPECT_EQ(address.text(), text);
  }
}

TEST_F(IPAddressTest, TextualIPv6TestAcceptsTheUsualForms) {
  for (const wchar_t* text : {L"::1", L"[::1]", L"fe80::1%4", L"::ffff:192.168.1.1", L"::1.2.3.4",
                              L"1:2:3:4:5:6:1.2.3.4", L"1:2:3:4:5:6:7:8", L"1:2:3:4:5:6:7::", L"::", L"fe80::/64",
                              L"fe80::1%2147483648", L"fe80::1%4294967295"}) {
    EXPECT_TRUE(IPAddress::IsIPv6Text(text)) << std::string(text, text + wcslen(text));
  }
}

TEST_F(IPAddressTest, TextualIPv6TestRejectsWrongShapes) {
  for (const wchar_t* text : {L"1:2:3:4:5:6:7", L"1::2::3", L":1.2.3.4", L":1:2:3:4:5:6:7:8", L"abcde::1",
                              L"1:2:3:4:5:6:7:8:9", L"1:2:3:4:5:6:7:1.2.3.4", L"::1/129", L"::1/-1", L"fe80::1%x",
                              L"fe80::1%4294967296", L"fe80::1%-1",
                              L"[]", L"1", L"1.2.3.4", L"::1.2.3", L"1:2:3:4:5:6:7:8:"}) {
    EXPECT_FALSE(IPAddress::IsIPv6Text(text)) << std::string(text, text + wcslen(text));
  }
}

TEST_F(IPAddressTest, IPv6TextsBecomeValidOnlyWhenTheConversionAgrees) {
  IPAddress loopback(L"::1");
  ASSERT_TRUE(loopback.valid());
  EXPECT_EQ(loopback.kind(), AddressKind::IPv6);
  EXPECT_EQ(loopback.addressBytes()[15], 1);

  IPAddress scoped(L"fe80::1%4");
  ASSERT_TRUE(scoped.valid());
  EXPECT_EQ(scoped.addressBytes()[0], 0xfe);
  EXPECT_EQ(scoped.text(), L"fe80::1%4");
  // Scope IDs run up to the largest unsigned 32-bit number.
  EXPECT_TRUE(IPAddress(L"fe80::1%4294967295").valid());

  IPAddress mapped(L"::ffff:192.168.1.1");
  ASSERT_TRUE(mapped.valid());
  EXPECT_EQ(mapped.addressBytes()[12], 192);

  // Passes the textual test, but "gggg" is no hexadecimal group.
  ASSERT_TRUE(IPAddress::IsIPv6Text(L"gggg::1"));
  IPAddress notHex(L"gggg::1");
  EXPECT_FALSE(notHex.valid());
  EXPECT_EQ(notHex.kind(), AddressKind::None);
  EXPECT_EQ(notHex.text(), L"gggg::1");

  // The prefix passes the textual test, but the conversion knows no prefix.
  EXPECT_FALSE(IPAddress(L"fe80::/64").valid());
}

TEST_F(IPAddressTest, AssignmentTakesOnlyValidValuesAndMakesIndependentCopies) {
  IPAddress kept(L"10.0.0.7");
  kept = IPAddress(L"not an address");
  EXPECT_EQ(kept.text(), L"10.0.0.7");
  EXPECT_TRUE(kept.valid());
  kept = IPAddress();
  EXPECT_EQ(kept.text(), L"10.0.0.7");

  IPAddress target;
  {
    IPAddress source(L"fe80::1%4");
    target = source;
    EXPECT_NE(target.addressBytes(), source.addressBytes());
  }
  // The source is gone; the copy still holds its own text and bytes.
  ASSERT_TRUE(target.valid());
  EXPECT_EQ(target.kind(), AddressKind::IPv6);
  EXPECT_EQ(target.text(), L"fe80::1%4");
  EXPECT_EQ(target.addressBytes()[0], 0xfe);

  // An IPv6 value replaced by an IPv4 one takes its kind and 4 bytes.
  target = IPAddress(L"10.0.0.7");
  EXPECT_EQ(target.kind(), AddressKind::IPv4);
  EXPECT_EQ(target.addressBytes()[3], 7);

  IPAddress& self = target;
  target = self;
  EXPECT_EQ(target.text(), L"10.0.0.7");

  IPAddress copied(target);
  EXPECT_NE(copied.addressBytes(), target.addressBytes());
  EXPECT_EQ(copied.text(), target.text());
}

}  // namespace
