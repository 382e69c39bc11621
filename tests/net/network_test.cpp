// The network service and host resolution on the simulated machine: what Network takes from the
// IP helper and ICMP libraries and gives back, and how host texts resolve, IPv4 before IPv6.
#include "net/network.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/libraries.h"
#include "host/machine.h"
#include "host/network.h"
#include "host/os_version.h"
#include "host/sockets.h"
#include "support/trace.h"

namespace {

using testing_support::TraceCount;
using testing_support::Traced;
using testing_support::TraceTexts;

const wchar_t kNoSuchHost[] = L"No such host is known. ";

bool ValidHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// The lines written since `first`, from the first one that equals it.
std::vector<std::wstring> LinesFrom(const std::wstring& first) {
  std::vector<std::wstring> lines = TraceTexts();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == first) return std::vector<std::wstring>(lines.begin() + static_cast<long>(i), lines.end());
  }
  return {};
}

TEST(NetworkTest, TakesTheLocalFactsAndReleasesThemAll) {
  host::network::SetInterfaceCount(3);
  {
    Network network;
    EXPECT_EQ(network.interfaceCount(), 3u);
    EXPECT_TRUE(ValidHandle(network.icmpHandle()));
    EXPECT_TRUE(ValidHandle(network.icmp6Handle()));
    ASSERT_NE(network.addrTable(), nullptr);
    EXPECT_EQ(network.addrTableResult(), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(network.localAddressText(0), L"127.0.0.1");
    EXPECT_EQ(network.localAddressText(1), L"192.168.1.20");
    EXPECT_EQ(network.localAddressText(2), L"");
    EXPECT_EQ(host::sockets::StartCount(), 1);
    EXPECT_EQ(host::network::OpenIcmpHandles(), 2);
    EXPECT_EQ(host::libraries::References(L"iphlpapi.dll"), 1);
    EXPECT_EQ(host::libraries::References(L"icmp.dll"), 1);
  }
  EXPECT_EQ(TraceTexts(), (std::vector<std::wstring>{L"Network singleton created", L"Network started!"}));
  EXPECT_EQ(host::sockets::StartCount(), 0);
  EXPECT_EQ(host::network::OpenIcmpHandles(), 0);
  EXPECT_EQ(host::libraries::References(L"iphlpapi.dll"), 0);
  EXPECT_EQ(host::libraries::References(L"icmp.dll"), 0);
  EXPECT_TRUE(host::OpenResources().empty());
}

TEST(NetworkTest, StartingAgainDoesNotTakeTwice) {
  Network network;
  EXPECT_EQ(network.Start(), 0);
  EXPECT_EQ(host::sockets::StartCount(), 1);
  EXPECT_EQ(host::network::OpenIcmpHandles(), 2);
}

TEST(NetworkTest, WithoutIphlpapiNoEntryPointIsFound) {
  host::libraries::SetPresent(L"iphlpapi.dll", false);
  Network network;
  EXPECT_EQ(host::libraries::References(L"icmp.dll"), 1);
  EXPECT_EQ(network.FindEntryPoint("IcmpCreateFile"), nullptr);
  EXPECT_EQ(network.interfaceCount(), 0u);
  EXPECT_EQ(network.icmpHandle(), nullptr);
  EXPECT_EQ(network.icmp6Handle(), nullptr);
  EXPECT_EQ(network.addrTable(), nullptr);
  EXPECT_TRUE(Traced(L"Network started!"));
  EXPECT_EQ(host::CallCount("GetProcAddress"), 0);
}

TEST(NetworkTest, MissingEntryPointsLeaveTheirFieldsEmptyOrComeFromIcmp) {
  host::libraries::RemoveEntryPoint(L"iphlpapi.dll", "GetIpAddrTable");
  host::libraries::RemoveEntryPoint(L"iphlpapi.dll", "GetNumberOfInterfaces");
  host::libraries::RemoveEntryPoint(L"iphlpapi.dll", "IcmpCreateFile");
  Network network;
  EXPECT_EQ(network.addrTable(), nullptr);
  EXPECT_EQ(network.interfaceCount(), 0u);
  // Not in iphlpapi.dll, so taken from icmp.dll.
  EXPECT_TRUE(ValidHandle(network.icmpHandle()));

  host::libraries::SetPresent(L"icmp.dll", false);
  Network withoutIcmp;
  EXPECT_EQ(withoutIcmp.icmpHandle(), nullptr);
  EXPECT_TRUE(ValidHandle(withoutIcmp.icmp6Handle()));
}

TEST(NetworkTest, Icmp6NeedsVersion51ServicePack2OrLater) {
  struct Case {
    DWORD major, minor;
    WORD spMajor, spMinor;
    bool supported;
  };
  // The version fields form one hierarchy: 6.0 is later than 5.1 although 0 < 1.
  for (const Case& c : {Case{5, 1, 1, 9, false}, Case{5, 0, 4, 0, false}, Case{5, 1, 2, 0, true},
                        Case{5, 2, 0, 0, true}, Case{6, 0, 0, 0, true}, Case{10, 0, 0, 0, true}}) {
    SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << " SP" << c.spMajor << "." << c.spMinor);
    host::os::SetVersion(c.major, c.minor, c.spMajor, c.spMinor);
    EXPECT_EQ(OsSupportsIcmp6(), c.supported);
  }

  host::os::SetVersion(5, 1, 1, 0);
  int lookUps = host::CallCount("GetProcAddress");
  Network network;
  EXPECT_EQ(network.icmp6Handle(), nullptr);
  EXPECT_TRUE(ValidHandle(network.icmpHandle()));
  // GetNumberOfInterfaces, IcmpCreateFile and GetIpAddrTable: Icmp6CreateFile is not looked up.
  EXPECT_EQ(host::CallCount("GetProcAddress") - lookUps, 3);
}

TEST(NetworkTest, RecordsTheFirstTenLocalAddressesOfALargerTable) {
  std::vector<std::string> addresses;
  for (int i = 1; i <= 12; ++i) addresses.push_back("10.1.0." + std::to_string(i));
  host::network::SetLocalAddresses(addresses);
  Network network;
  // The first block holds one row; the second call gets the size it was told.
  EXPECT_EQ(host::CallCount("GetIpAddrTable"), 2);
  EXPECT_EQ(network.addrTableSize(), sizeof(DWORD) + 12 * sizeof(MIB_IPADDRROW));
  ASSERT_NE(network.addrTable(), nullptr);
  EXPECT_EQ(network.addrTable()->dwNumEntries, 12u);
  for (size_t i = 0; i < Network::kLocalAddressTexts; ++i) {
    EXPECT_EQ(network.localAddressText(i), L"10.1.0." + std::to_wstring(i + 1));
  }
}

TEST(NetworkTest, FailedAddressTableRecordsNoTexts) {
  host::FailCall("GetIpAddrTable", ERROR_NOT_SUPPORTED);
  Network network;
  EXPECT_EQ(network.addrTableResult(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(network.localAddressText(0), L"");
  EXPECT_TRUE(Traced(L"Network started!"));
}

TEST(NetworkTest, SocketLibraryThatDoesNotStartFailsEveryResolution) {
  host::FailCall("WSAStartup", WSASYSNOTREADY);
  Network network;
  EXPECT_EQ(network.Start(), 0);  // the second start succeeds
  host::FailCall("WSAStartup", WSASYSNOTREADY);
  EXPECT_EQ(network.Start(), 8);
  EXPECT_EQ(TraceCount(L"Can't start WSAStartup"), 2);
  EXPECT_EQ(TraceCount(L"Network started!"), 1);
  EXPECT_EQ(network.addrTable(), nullptr);
  EXPECT_EQ(host::sockets::StartCount(), 0);

  IPAddress address;
  EXPECT_EQ(GetIpAddrFromHostName(L"192.168.1.10", address), 1);
  EXPECT_TRUE(Traced(L"Either the application has not called WSAStartup, or WSAStartup failed. "));
  EXPECT_FALSE(address.valid());
}

TEST(ProtocolTest, InstalledFamiliesAreFoundInTheCatalogue) {
  Network network;
  EXPECT_EQ(IsProtocolInstalled(AF_INET), 0);
  EXPECT_EQ(IsProtocolInstalled(AF_INET6), 0);
  host::network::SetInstalledFamilies({AF_INET});
  EXPECT_EQ(IsProtocolInstalled(AF_INET6), 11);
  host::network::SetInstalledProtocols({});
  EXPECT_EQ(IsProtocolInstalled(AF_INET), 11);
}

TEST(ProtocolTest, MoreThan255RecordsOverflowTheBuffer) {
  Network network;
  std::vector<host::network::Protocol> records(255, {AF_INET6, SOCK_STREAM, IPPROTO_TCP, L"Layered"});
  host::network::SetInstalledProtocols(records);
  EXPECT_EQ(IsProtocolInstalled(AF_INET6), 0);
  records.push_back({AF_INET, SOCK_STREAM, IPPROTO_TCP, L"MSAFD Tcpip [TCP/IP]"});
  host::network::SetInstalledProtocols(records);
  EXPECT_EQ(IsProtocolInstalled(AF_INET), 1);
  EXPECT_TRUE(Traced(L"An operation on a socket could not be performed because the system lacked sufficient "
                     L"buffer space or because a queue was full. "));
}

TEST(ResolutionTest, IPv4OnlyMachineMakesOneAttempt) {
  host::network::SetInstalledFamilies({AF_INET});
  host::network::SetHostAddresses("printer7", {"10.0.0.7"});
  Network network;
  IPAddress address;
  EXPECT_EQ(GetIpAddrFromHostName(L"printer7", address), 0);
  EXPECT_EQ(address.text(), L"10.0.0.7");
  EXPECT_EQ(LinesFrom(L"GetIpAddrFromHostName()"),
            (std::vector<std::wstring>{L"GetIpAddrFromHostName()", L"GetIpAddrFromHostName(IPv4)",
                                       L"GetIpAddrFromHostName(blIpv6 = 0)"}));

  IPAddress unknown;
  EXPECT_EQ(GetIpAddrFromHostName(L"nowhere", unknown), 11);
  EXPECT_EQ(TraceCount(kNoSuchHost), 1);
  EXPECT_FALSE(Traced(L"GetIpAddrFromHostName(IPv6)"));
}

TEST(ResolutionTest, IPv6OnlyNameFailsForIPv4AndResolvesForIPv6) {
  host::network::SetHostAddresses("v6printer", {"2001:db8::7"});
  Network network;
  IPAddress address;
  EXPECT_EQ(GetIpAddrFromHostName(L"v6printer", address), 0);
  EXPECT_EQ(address.text(), L"2001:db8::7");
  EXPECT_EQ(address.kind(), AddressKind::IPv6);
  EXPECT_EQ(LinesFrom(L"GetIpAddrFromHostName()"),
            (std::vector<std::wstring>{L"GetIpAddrFromHostName()", L"GetIpAddrFromHostName(IPv4)",
                                       L"GetIpAddrFromHostName(blIpv6 = 0)", kNoSuchHost,
                                       L"GetIpAddrFromHostName(IPv6)", L"GetIpAddrFromHostName(blIpv6 = 1)"}));
}

TEST(ResolutionTest, WithoutIPv4TheIPv6AttemptComesDirectly) {
  host::network::SetInstalledFamilies({AF_INET6});
  host::network::SetHostAddresses("both", {"10.0.0.9", "fe80::9%3"});
  Network network;
  IPAddress address;
  EXPECT_EQ(GetIpAddrFromHostName(L"both", address), 0);
  EXPECT_EQ(address.text(), L"fe80::9%3");
  EXPECT_FALSE(Traced(L"GetIpAddrFromHostName(IPv4)"));
}

TEST(ResolutionTest, LinkLocalResultKeepsItsScopeAndIsValid) {
  host::network::SetHostAddresses("local-printer", {"fe80::21b:63ff:fe9a:1%12"});
  Network network;
  IPAddress address;
  EXPECT_EQ(GetIpAddrFromHostName(L"local-printer", address, true), 0);
  EXPECT_EQ(address.text(), L"fe80::21b:63ff:fe9a:1%12");
  EXPECT_TRUE(address.valid());
}

TEST(ResolutionTest, OnlyTheFirstAddressIsUsed) {
  host::network::SetHostAddresses("multi", {"10.0.0.1", "10.0.0.2"});
  Network network;
  IPAddress address;
  EXPECT_EQ(GetIpAddrFromHostName(L"MULTI", address, false), 0);
  EXPECT_EQ(address.text(), L"10.0.0.1");
}

TEST(ResolutionTest, LookUpErrorIsWrittenAsItsSystemText) {
  host::network::SetHostFailure("flaky", WSATRY_AGAIN);
  Network network;
  IPAddress address(L"10.9.9.9");
  EXPECT_EQ(GetIpAddrFromHostName(L"flaky", address, false), 1);
  EXPECT_EQ(WSAGetLastError(), WSATRY_AGAIN);
  EXPECT_TRUE(Traced(L"This is usually a temporary error during hostname resolution and means that the local "
                     L"server did not receive a response from an authoritative server. "));
  EXPECT_EQ(address.text(), L"10.9.9.9");  // left as it was
}

TEST(ResolutionTest, LongNamesResolveInFullAndTooLongOnesAreRefused) {
  // Longer than 38 bytes, as printers on corporate networks often are.
  const std::string longName = "printer-floor3-east-wing.emea.corp.example.com";
  host::network::SetHostAddresses(longName, {"10.3.3.3"});
  // A name of non-ASCII letters travels to the name service as UTF-8.
  host::network::SetHostAddresses("dr\xC3\xBC" "cker", {"10.4.4.4"});
  Network network;
  IPAddress address;
  EXPECT_EQ(GetIpAddrFromHostName(std::wstring(longName.begin(), longName.end()), address, false), 0);
  EXPECT_EQ(address.text(), L"10.3.3.3");
  EXPECT_EQ(GetIpAddrFromHostName(L"dr\u00FCcker", address, false), 0);
  EXPECT_EQ(address.text(), L"10.4.4.4");

  int lookUps = host::CallCount("getaddrinfo");
  std::wstring tooLong(254, L'a');
  EXPECT_EQ(GetIpAddrFromHostName(tooLong, address, false), 1);
  EXPECT_EQ(host::CallCount("getaddrinfo"), lookUps);
  EXPECT_TRUE(Traced(L"Host name too long to resolve: " + tooLong));
  EXPECT_EQ(GetIpAddrFromHostName(std::wstring(253, L'a'), address, false), 1);
  EXPECT_EQ(host::CallCount("getaddrinfo"), lookUps + 1);
}

TEST(ResolutionTest, OwnNameTooLongForItsBufferFails) {
  host::network::SetComputerName(std::string(254, 'w'));
  Network network;
  IPAddress address;
  EXPECT_EQ(GetIpAddrFromHostName(L"", address, false), 1);
  EXPECT_TRUE(Traced(L"The system detected an invalid pointer address in attempting to use a pointer argument in a "
                     L"call. "));
  EXPECT_EQ(host::CallCount("getaddrinfo"), 0);
}

TEST(ResolutionTest, CodeWithoutSystemTextStillGivesALine) {
  host::network::SetHostFailure("odd", 12345);
  Network network;
  IPAddress address;
  EXPECT_EQ(GetIpAddrFromHostName(L"odd", address, false), 1);
  EXPECT_TRUE(Traced(L"No system text for error code 12345"));
}

}  // namespace
