// Address validation and host resolution on the simulated name service: what each call answers,
// the lines it writes, and that each call brings up and releases a network service of its own.
#include "net/address_resolution.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "host/libraries.h"
#include "host/machine.h"
#include "host/network.h"
#include "host/sockets.h"
#include "platform/win32.h"
#include "support/trace.h"

namespace {

using testing_support::TraceCount;
using testing_support::Traced;

TEST(ValidIPAddressTest, DottedAddressIsValid) {
  EXPECT_TRUE(ValidIPAddress(L"192.168.1.10"));
  EXPECT_TRUE(Traced(L"ValidIPAddress(192.168.1.10)"));
  EXPECT_TRUE(Traced(L"IPAddress 192.168.1.10 IS VALID"));
  EXPECT_EQ(TraceCount(L"Network singleton created"), 1);
  // The service's start of the socket library is balanced before the call returns.
  EXPECT_EQ(host::sockets::StartCount(), 0);
}

TEST(ValidIPAddressTest, NullAndEmptyHostsFailWithoutANetwork) {
  EXPECT_FALSE(ValidIPAddress(nullptr));
  EXPECT_TRUE(Traced(L"ValidIPAddress((null))"));
  EXPECT_TRUE(Traced(L"HostName address is NULL"));
  EXPECT_FALSE(ValidIPAddress(L""));
  EXPECT_TRUE(Traced(L"ValidIPAddress()"));
  EXPECT_TRUE(Traced(L"HostName address is empty"));
  EXPECT_FALSE(Traced(L"Network singleton created"));
  EXPECT_EQ(host::CallCount("LoadLibraryW"), 0);
}

TEST(ValidIPAddressTest, UnknownNameTriesIPv4ThenIPv6AndFails) {
  EXPECT_FALSE(ValidIPAddress(L"nowhere.example"));
  EXPECT_TRUE(Traced(L"GetIpAddrFromHostName(IPv4)"));
  EXPECT_TRUE(Traced(L"GetIpAddrFromHostName(IPv6)"));
  EXPECT_EQ(TraceCount(L"No such host is known. "), 2);
  EXPECT_TRUE(Traced(L"Unable to resolve host name address"));
  EXPECT_FALSE(Traced(L"IPAddress nowhere.example IS VALID"));
}

TEST(ValidIPAddressTest, ResolvedNameIsValidByItsAddress) {
  host::network::SetHostAddresses("printer7.corp.example", {"10.0.0.7"});
  EXPECT_TRUE(ValidIPAddress(L"printer7.corp.example"));
  EXPECT_TRUE(Traced(L"IPAddress 10.0.0.7 IS VALID"));
}

TEST(ValidIPAddressTest, AddressTextTooLongForItsBufferIsNotAccepted) {
  // Eight full groups make 39 characters, one more than the text buffer holds.
  host::network::SetHostAddresses("wide-scope", {"1111:2222:3333:4444:5555:6666:7777:8888"});
  host::network::SetInstalledFamilies({AF_INET6});
  EXPECT_FALSE(ValidIPAddress(L"wide-scope"));
  // A buffer too small for the text is WSAEFAULT.
  EXPECT_TRUE(Traced(L"The system detected an invalid pointer address in attempting to use a pointer argument in a "
                     L"call. "));
  EXPECT_TRUE(Traced(L"Unable to resolve host name address"));
}

TEST(ResolveHostnameTest, ResolvesInPlaceOnOneBuffer) {
  host::network::SetHostAddresses("printer7", {"10.0.0.7", "10.0.0.8"});
  wchar_t buffer[256];
  std::wcscpy(buffer, L"printer7");
  EXPECT_EQ(ResolveHostname(buffer, buffer), 1);
  EXPECT_STREQ(buffer, L"10.0.0.7");
  EXPECT_TRUE(Traced(L"ResolveHostname(printer7)"));
  EXPECT_TRUE(Traced(L"Resolved host name address to 10.0.0.7"));
  EXPECT_EQ(host::sockets::StartCount(), 0);
}

TEST(ResolveHostnameTest, EmptyHostResolvesTheComputersOwnName) {
  host::network::SetComputerName("DESK-0042");
  host::network::SetHostAddresses("desk-0042", {"172.16.4.2", "172.16.4.3"});
  wchar_t buffer[256] = L"";
  EXPECT_EQ(ResolveHostname(buffer, buffer), 1);
  EXPECT_STREQ(buffer, L"172.16.4.2");
}

TEST(ResolveHostnameTest, UnresolvedNameLeavesTheBufferAndWritesNoResultLine) {
  wchar_t buffer[256];
  std::wcscpy(buffer, L"nowhere.example");
  EXPECT_EQ(ResolveHostname(buffer, buffer), 0);
  EXPECT_STREQ(buffer, L"nowhere.example");
  EXPECT_FALSE(Traced(L"Unable to resolve host name address"));
  for (const std::wstring& line : testing_support::TraceTexts()) EXPECT_EQ(line.rfind(L"Resolved host", 0), std::wstring::npos);
}

TEST(ResolveHostnameTest, EachCallBuildsItsOwnNetworkAndReleasesIt) {
  host::network::SetHostAddresses("printer7", {"10.0.0.7"});
  wchar_t out[256];
  EXPECT_EQ(ResolveHostname(L"printer7", out), 1);
  EXPECT_TRUE(ValidIPAddress(L"printer7"));
  EXPECT_EQ(ResolveHostname(L"printer7", out), 1);
  EXPECT_EQ(TraceCount(L"Network singleton created"), 3);
  EXPECT_EQ(host::CallCount("WSAStartup"), 3);
  EXPECT_EQ(host::CallCount("getaddrinfo"), 3);
  EXPECT_EQ(host::libraries::References(L"iphlpapi.dll"), 0);
  EXPECT_EQ(host::network::OpenIcmpHandles(), 0);
}

}  // namespace
