// Windows Sockets address texts, name resolution of numeric hosts, the host name, the protocol
// catalogue, the IP helper library loaded at run time, version tests and global memory.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "conformance.h"

namespace {

using conformance::kPoison;

class SocketsStarted : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  void TearDown() override { WSACleanup(); }
};

using NetworkText = SocketsStarted;
using NameResolution = SocketsStarted;

std::wstring AddressToText(const void* address, DWORD length, int* error) {
  auto buffer = conformance::PoisonedBuffer(64);
  DWORD chars = 64;
  WSASetLastError(static_cast<int>(kPoison));
  int result = WSAAddressToStringW(static_cast<LPSOCKADDR>(const_cast<void*>(address)), length, nullptr,
                                   buffer.data(), &chars);
  *error = result == 0 ? 0 : WSAGetLastError();
  if (result != 0) return std::wstring();
  EXPECT_EQ(chars, conformance::TextIn(buffer).size() + 1);  // characters, terminator included
  return conformance::TextIn(buffer);
}

sockaddr_in6 FeEightyOne(u_short port, ULONG scope) {
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_port = htons(port);
  unsigned char bytes[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  std::memcpy(&address.sin6_addr, bytes, 16);
  address.sin6_scope_id = scope;
  return address;
}

TEST_F(NetworkText, AddressToStringShowsPortScopeAndBracketsOnlyWhenSet) {
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_addr.s_addr = inet_addr("10.0.0.7");
  int error = 0;
  EXPECT_EQ(AddressToText(&v4, sizeof v4, &error), L"10.0.0.7");
  v4.sin_port = htons(9100);
  EXPECT_EQ(AddressToText(&v4, sizeof v4, &error), L"10.0.0.7:9100");

  sockaddr_in6 v6 = FeEightyOne(0, 0);
  EXPECT_EQ(AddressToText(&v6, sizeof v6, &error), L"fe80::1");
  v6 = FeEightyOne(0, 4);
  EXPECT_EQ(AddressToText(&v6, sizeof v6, &error), L"fe80::1%4");
  v6 = FeEightyOne(80, 4);
  EXPECT_EQ(AddressToText(&v6, sizeof v6, &error), L"[fe80::1%4]:80");
}

TEST_F(NetworkText, AddressToStringTooSmallBufferReportsTheSizeNeeded) {
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_addr.s_addr = inet_addr("192.168.100.200");
  const DWORD needed = 16;  // 15 characters and the terminator
  for (DWORD size : {needed - 1, DWORD{1}}) {
    auto buffer = conformance::PoisonedBuffer(needed);
    DWORD chars = size;
    WSASetLastError(static_cast<int>(kPoison));
    EXPECT_EQ(WSAAddressToStringW(reinterpret_cast<LPSOCKADDR>(&v4), sizeof v4, nullptr, buffer.data(), &chars),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(chars, needed);
  }
  auto buffer = conformance::PoisonedBuffer(needed);
  DWORD chars = needed;
  EXPECT_EQ(WSAAddressToStringW(reinterpret_cast<LPSOCKADDR>(&v4), sizeof v4, nullptr, buffer.data(), &chars), 0);
  EXPECT_EQ(conformance::TextIn(buffer), L"192.168.100.200");
}

TEST_F(NetworkText, StringToAddressReadsPortsBracketsAndScopes) {
  wchar_t withPort[] = L"192.168.1.10:9100";
  sockaddr_in v4{};
  INT length = sizeof v4;
  ASSERT_EQ(WSAStringToAddressW(withPort, AF_INET, nullptr, reinterpret_cast<LPSOCKADDR>(&v4), &length), 0);
  EXPECT_EQ(v4.sin_family, AF_INET);
  EXPECT_EQ(ntohs(v4.sin_port), 9100);
  EXPECT_EQ(v4.sin_addr.s_addr, inet_addr("192.168.1.10"));

  wchar_t bracketed[] = L"[fe80::1%4]:80";
  sockaddr_in6 v6{};
  length = sizeof v6;
  ASSERT_EQ(WSAStringToAddressW(bracketed, AF_INET6, nullptr, reinterpret_cast<LPSOCKADDR>(&v6), &length), 0);
  sockaddr_in6 expected = FeEightyOne(80, 4);
  EXPECT_EQ(std::memcmp(&v6.sin6_addr, &expected.sin6_addr, 16), 0);
  EXPECT_EQ(v6.sin6_scope_id, 4u);
  EXPECT_EQ(ntohs(v6.sin6_port), 80);

  wchar_t scoped[] = L"fe80::1%4";
  v6 = sockaddr_in6{};
  length = sizeof v6;
  ASSERT_EQ(WSAStringToAddressW(scoped, AF_INET6, nullptr, reinterpret_cast<LPSOCKADDR>(&v6), &length), 0);
  EXPECT_EQ(v6.sin6_scope_id, 4u);
  EXPECT_EQ(v6.sin6_port, 0);

  wchar_t mapped[] = L"::ffff:192.168.1.1";
  length = sizeof v6;
  ASSERT_EQ(WSAStringToAddressW(mapped, AF_INET6, nullptr, reinterpret_cast<LPSOCKADDR>(&v6), &length), 0);
  EXPECT_EQ(v6.sin6_addr.u.Byte[10], 0xff);
  EXPECT_EQ(v6.sin6_addr.u.Byte[12], 192);
}

TEST_F(NetworkText, StringToAddressRefusesWhatIsNoAddress) {
  struct Case {
    const wchar_t* text;
    INT family;
  };
  for (const Case& c : {Case{L"gggg::1", AF_INET6}, Case{L"1::2::3", AF_INET6}, Case{L"fe80::1%x", AF_INET6},
                        Case{L"printer7", AF_INET}, Case{L"1.2.3.4:65536", AF_INET}, Case{L"", AF_INET},
                        Case{L"10.0.0.7", AF_INET6}}) {
    std::wstring copy = c.text;
    sockaddr_in6 address{};
    INT length = sizeof address;
    WSASetLastError(static_cast<int>(kPoison));
    EXPECT_EQ(WSAStringToAddressW(&copy[0], c.family, nullptr, reinterpret_cast<LPSOCKADDR>(&address), &length),
              SOCKET_ERROR)
        << std::string(copy.begin(), copy.end());
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL) << std::string(copy.begin(), copy.end());
  }
}

// Windows reads a port as C reads a number (0x hexadecimal, leading 0 octal) and refuses port 0;
// the address is cleared before it is read, so a refused text leaves it zero and the length as it
// was (cases from Wine's Windows-checked tests).
TEST_F(NetworkText, StringToAddressReadsPortsAsCNumbersAndClearsOnRefusal) {
  struct Case {
    const wchar_t* text;
    int port;  // -1: refused
  };
  const Case cases[] = {
      {L"127.0.0.1:0xAbCd", 43981}, {L"127.0.0.1:010", 8},    {L"127.0.0.1:007", 7}, {L"127.0.0.1:65535", 65535},
      {L"127.0.0.1:08", -1},        {L"127.0.0.1:080", -1},   {L"127.0.0.1:0", -1},  {L"127.0.0.1:", -1},
      {L"127.0.0.1:0x", -1},        {L"127.0.0.1:0x10000", -1}, {L"127.0.0.1:0a", -1}, {L"[::1]:0x50", 80},
      {L"[::1]:080", -1},           {L"[::1]:0", -1},         {L"[::1]:65536", -1},
  };
  for (const Case& c : cases) {
    std::wstring copy = c.text;
    const bool six = copy[0] == L'[';
    const INT size = six ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    unsigned char address[sizeof(sockaddr_in6) + 10];
    std::memset(address, 0xAB, sizeof address);
    INT length = static_cast<INT>(sizeof address);
    WSASetLastError(static_cast<int>(kPoison));
    int result = WSAStringToAddressW(&copy[0], six ? AF_INET6 : AF_INET, nullptr,
                                     reinterpret_cast<LPSOCKADDR>(address), &length);
    std::string name(copy.begin(), copy.end());
    if (c.port < 0) {
      EXPECT_EQ(result, SOCKET_ERROR) << name;
      EXPECT_EQ(WSAGetLastError(), WSAEINVAL) << name;
      EXPECT_EQ(length, static_cast<INT>(sizeof address)) << name;
      unsigned short family = 0xFFFF;
      std::memcpy(&family, address, sizeof family);
      EXPECT_EQ(family, 0) << name;
      EXPECT_EQ(address[size], 0xAB) << name;  // nothing beyond the address
      continue;
    }
    ASSERT_EQ(result, 0) << name;
    EXPECT_EQ(length, size) << name;
    u_short port = 0;
    std::memcpy(&port, address + 2, sizeof port);  // sin_port and sin6_port
    EXPECT_EQ(ntohs(port), c.port) << name;
  }
}

// Windows writes the IPv4 tail of the tunnelling forms dotted (cases from Wine's Windows-checked
// tests of RtlIpv6AddressToString).
TEST_F(NetworkText, AddressToStringWritesTunnellingFormsWithADottedTail) {
  struct Case {
    uint16_t groups[8];
    const wchar_t* text;
  };
  const Case cases[] = {
      {{0, 0, 0, 0, 0, 0, 0x0d01, 0x4403}, L"::13.1.68.3"},
      {{0, 0, 0, 0, 0, 0, 0, 0xffff}, L"::ffff"},
      {{0, 0, 0, 0, 0, 0xffff, 0x0d01, 0x4403}, L"::ffff:13.1.68.3"},
      {{0, 0, 0, 0, 0, 0xffff, 0, 0x4403}, L"::ffff:0:4403"},
      {{0, 0, 0, 0, 0xffff, 0, 0x0d01, 0x4403}, L"::ffff:0:13.1.68.3"},
      {{0, 0, 0, 0xffff, 0, 0, 0x0d01, 0x4403}, L"::ffff:0:0:d01:4403"},
      {{0, 0, 0, 0, 0, 0x5efe, 0, 0}, L"::5efe:0.0.0.0"},
      {{0x1111, 0x2222, 0x3333, 0, 0, 0x5efe, 0x8190, 0x3426}, L"1111:2222:3333::5efe:129.144.52.38"},
      {{0, 0, 0, 0, 0x200, 0x5efe, 0x8190, 0x3426}, L"::200:5efe:129.144.52.38"},
      {{0, 0, 0, 0, 0x100, 0x5efe, 0x8190, 0x3426}, L"::100:5efe:8190:3426"},
      {{0x3ffe, 0xb00, 0, 0, 1, 0, 0, 0xa}, L"3ffe:b00::1:0:0:a"},
  };
  for (const Case& c : cases) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    for (int i = 0; i < 8; ++i) {
      v6.sin6_addr.u.Byte[2 * i] = static_cast<unsigned char>(c.groups[i] >> 8);
      v6.sin6_addr.u.Byte[2 * i + 1] = static_cast<unsigned char>(c.groups[i] & 0xFF);
    }
    int error = 0;
    EXPECT_EQ(AddressToText(&v6, sizeof v6, &error), c.text);
    EXPECT_EQ(error, 0);
  }
}

TEST_F(NetworkText, StringToAddressTooSmallLengthIsAFault) {
  wchar_t text[] = L"::1";
  sockaddr_in6 address{};
  INT length = sizeof(sockaddr_in6) - 1;
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(WSAStringToAddressW(text, AF_INET6, nullptr, reinterpret_cast<LPSOCKADDR>(&address), &length),
            SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(NameResolution, NumericHostsResolveToThemselvesInTheirFamilyOnly) {
  ADDRINFOA hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  PADDRINFOA list = nullptr;
  ASSERT_EQ(getaddrinfo("127.0.0.1", nullptr, &hints, &list), 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->ai_family, AF_INET);
  EXPECT_EQ(list->ai_addrlen, sizeof(sockaddr_in));
  ASSERT_NE(list->ai_addr, nullptr);
  EXPECT_EQ(reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr, inet_addr("127.0.0.1"));
  freeaddrinfo(list);

  hints.ai_family = AF_INET6;
  list = nullptr;
  ASSERT_EQ(getaddrinfo("::1", nullptr, &hints, &list), 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->ai_family, AF_INET6);
  EXPECT_EQ(list->ai_addrlen, sizeof(sockaddr_in6));
  freeaddrinfo(list);

  list = nullptr;
  EXPECT_NE(getaddrinfo("127.0.0.1", nullptr, &hints, &list), 0);
  EXPECT_EQ(list, nullptr);
}

// A numeric IPv4 host is read as inet_addr reads it: short forms, octal and hexadecimal parts.
TEST_F(NameResolution, NumericIPv4HostIsReadAsInetAddrReadsIt) {
  struct Case {
    const char* text;
    const char* address;  // null: no numeric host
  };
  const Case cases[] = {{"127.1", "127.0.0.1"},   {"0x7f.1", "127.0.0.1"}, {"010.0.0.1", "8.0.0.1"},
                        {"1.1.1.08", nullptr},    {"3.4.5.6 ", nullptr},   {"1.2.3.4.5", nullptr}};
  ADDRINFOA hints{};
  hints.ai_family = AF_INET;
  hints.ai_flags = AI_NUMERICHOST;
  for (const Case& c : cases) {
    PADDRINFOA list = nullptr;
    int result = getaddrinfo(c.text, nullptr, &hints, &list);
    if (!c.address) {
      EXPECT_NE(result, 0) << c.text;
      EXPECT_EQ(list, nullptr) << c.text;
      continue;
    }
    ASSERT_EQ(result, 0) << c.text;
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(inet_ntoa(reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr), c.address) << c.text;
    freeaddrinfo(list);
  }
}

// A bracketed IPv6 address is a numeric host when IPv6 results may be asked for.
TEST_F(NameResolution, BracketedIPv6AddressIsANumericHost) {
  ADDRINFOA hints{};
  hints.ai_flags = AI_NUMERICHOST;
  for (int family : {AF_UNSPEC, AF_INET6}) {
    hints.ai_family = family;
    PADDRINFOA list = nullptr;
    ASSERT_EQ(getaddrinfo("[::1]", nullptr, &hints, &list), 0) << family;
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->ai_family, AF_INET6);
    EXPECT_EQ(reinterpret_cast<sockaddr_in6*>(list->ai_addr)->sin6_addr.u.Byte[15], 1);
    freeaddrinfo(list);
  }
  hints.ai_family = AF_INET;
  PADDRINFOA list = nullptr;
  EXPECT_NE(getaddrinfo("[::1]", nullptr, &hints, &list), 0);
  EXPECT_EQ(list, nullptr);
}

// The addresses getaddrinfo gives for `host` in `family`, as texts, sorted, without repeats.
std::vector<std::string> ResolvedTexts(const char* host, int family) {
  ADDRINFOA hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  PADDRINFOA list = nullptr;
  int result = getaddrinfo(host, nullptr, &hints, &list);
  EXPECT_EQ(result, 0);
  std::vector<std::string> found;
  for (PADDRINFOA entry = list; entry; entry = entry->ai_next) {
    if (family != AF_UNSPEC) {
      EXPECT_EQ(entry->ai_family, family);
    }
    if (entry->ai_family == AF_INET) {
      EXPECT_EQ(entry->ai_addrlen, sizeof(sockaddr_in));
      found.push_back(inet_ntoa(reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr));
    } else if (entry->ai_family == AF_INET6) {
      EXPECT_EQ(entry->ai_addrlen, sizeof(sockaddr_in6));
      static const unsigned char kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
      const auto* six = reinterpret_cast<sockaddr_in6*>(entry->ai_addr);
      found.push_back(std::memcmp(&six->sin6_addr, kLoopback, 16) == 0 ? "::1" : "another IPv6 address");
    }
  }
  if (list) freeaddrinfo(list);
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

// "localhost" is the loopback address of the family the hints ask for; with no family, both
// (their order is the resolver's policy, so it is not pinned).
TEST_F(NameResolution, LocalhostIsTheIPv4LoopbackForIPv4) {
  EXPECT_EQ(ResolvedTexts("localhost", AF_INET), std::vector<std::string>{"127.0.0.1"});
}

TEST_F(NameResolution, LocalhostIsTheIPv6LoopbackForIPv6AndBothForAnyFamily) {
  SKIP_WHERE_WINE_DIFFERS("Wine asks the Linux resolver, which finds no IPv6 address for localhost where "
                          "/etc/hosts names it for IPv4 only; Windows answers ::1 itself");
  EXPECT_EQ(ResolvedTexts("localhost", AF_INET6), std::vector<std::string>{"::1"});
  EXPECT_EQ(ResolvedTexts("localhost", AF_UNSPEC), (std::vector<std::string>{"127.0.0.1", "::1"}));
}

TEST_F(NameResolution, HostNameNeedsRoomForTheWholeName) {
  char name[256] = {};
  ASSERT_EQ(gethostname(name, static_cast<int>(sizeof name)), 0);
  const int length = static_cast<int>(std::strlen(name));
  ASSERT_GT(length, 0);
  std::vector<char> exact(static_cast<size_t>(length) + 1, '#');
  EXPECT_EQ(gethostname(exact.data(), length + 1), 0);
  EXPECT_STREQ(exact.data(), name);
  std::vector<char> small(static_cast<size_t>(length), '#');
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(gethostname(small.data(), length), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(NameResolution, ProtocolCatalogueNegotiatesItsSize) {
  DWORD length = 0;
  WSASetLastError(static_cast<int>(kPoison));
  EXPECT_EQ(WSAEnumProtocolsW(nullptr, nullptr, &length), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOBUFS);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length % sizeof(WSAPROTOCOL_INFOW), 0u);

  std::vector<WSAPROTOCOL_INFOW> records(length / sizeof(WSAPROTOCOL_INFOW));
  DWORD small = length - 1;
  EXPECT_EQ(WSAEnumProtocolsW(nullptr, records.data(), &small), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOBUFS);
  EXPECT_EQ(small, length);

  int count = WSAEnumProtocolsW(nullptr, records.data(), &length);
  ASSERT_EQ(count, static_cast<int>(records.size()));
  bool ipv4 = false;
  for (const WSAPROTOCOL_INFOW& record : records) ipv4 = ipv4 || record.iAddressFamily == AF_INET;
  EXPECT_TRUE(ipv4);
}

TEST(Libraries, IpHelperLoadsByBareNameAndCountsReferences) {
  SetLastError(kPoison);
  HMODULE missing = LoadLibraryW(L"no_such_library_here.dll");
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  HMODULE first = LoadLibraryW(L"iphlpapi.dll");
  ASSERT_NE(first, nullptr);
  HMODULE second = LoadLibraryW(L"IPHLPAPI");  // the extension is implied, the case does not matter
  EXPECT_EQ(second, first);
  EXPECT_NE(GetProcAddress(first, "GetIpAddrTable"), nullptr);
  EXPECT_NE(GetProcAddress(first, "GetNumberOfInterfaces"), nullptr);
  SetLastError(kPoison);
  EXPECT_EQ(GetProcAddress(first, "NoSuchEntryPoint"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(second));
  // One reference is left: the library is still there.
  EXPECT_NE(GetProcAddress(first, "GetIpAddrTable"), nullptr);
  EXPECT_TRUE(FreeLibrary(first));
}

TEST(Libraries, AddressTableNegotiatesItsSize) {
  HMODULE library = LoadLibraryW(L"iphlpapi.dll");
  ASSERT_NE(library, nullptr);
  using GetIpAddrTableFn = DWORD(WINAPI*)(PMIB_IPADDRTABLE, PULONG, BOOL);
  auto getTable = reinterpret_cast<GetIpAddrTableFn>(reinterpret_cast<void*>(GetProcAddress(library, "GetIpAddrTable")));
  ASSERT_NE(getTable, nullptr);
  ULONG size = 0;
  EXPECT_EQ(getTable(nullptr, &size, FALSE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GE(size, sizeof(MIB_IPADDRTABLE));
  std::vector<unsigned char> block(size);
  auto* table = reinterpret_cast<PMIB_IPADDRTABLE>(block.data());
  EXPECT_EQ(getTable(table, &size, FALSE), static_cast<DWORD>(NO_ERROR));
  EXPECT_GE(table->dwNumEntries, 1u);
  EXPECT_LE(offsetof(MIB_IPADDRTABLE, table) + table->dwNumEntries * sizeof(MIB_IPADDRROW), block.size());
  EXPECT_EQ(getTable(table, nullptr, FALSE), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(FreeLibrary(library));
}

TEST(Version, ConditionMaskAndHierarchicalTest) {
  EXPECT_EQ(VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL), 3ull << 3);
  EXPECT_EQ(VerSetConditionMask(0, VER_MINORVERSION, VER_GREATER_EQUAL), 3ull);
  EXPECT_EQ(VerSetConditionMask(0, VER_SERVICEPACKMAJOR, VER_EQUAL), 1ull << 15);

  ULONGLONG mask = 0;
  for (DWORD field : {VER_MAJORVERSION, VER_MINORVERSION, VER_SERVICEPACKMAJOR, VER_SERVICEPACKMINOR})
    mask = VerSetConditionMask(mask, field, VER_GREATER_EQUAL);
  const DWORD fields = VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR;
  OSVERSIONINFOEXW wanted{};
  wanted.dwOSVersionInfoSize = sizeof wanted;
  // Every system the program runs on is later than 5.1 service pack 2, whatever its minor number.
  wanted.dwMajorVersion = 5;
  wanted.dwMinorVersion = 1;
  wanted.wServicePackMajor = 2;
  EXPECT_TRUE(VerifyVersionInfoW(&wanted, fields, mask));
  wanted.dwMajorVersion = 5;
  wanted.dwMinorVersion = 99;
  EXPECT_TRUE(VerifyVersionInfoW(&wanted, fields, mask));

  wanted.dwMajorVersion = 99;
  SetLastError(kPoison);
  EXPECT_FALSE(VerifyVersionInfoW(&wanted, fields, mask));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OLD_WIN_VERSION));
}

TEST(GlobalMemory, ZeroInitialisedFixedBlock) {
  HGLOBAL block = GlobalAlloc(GPTR, 28);
  ASSERT_NE(block, nullptr);
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (int i = 0; i < 28; ++i) EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(GlobalFree(block), nullptr);
}

}  // namespace
