// The simulated machine's network services as tests shape them: names and their addresses, the
// own name, look-up failures, the libraries and their entry points, and the accounting of what
// the program must give back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/libraries.h"
#include "host/machine.h"
#include "host/network.h"
#include "platform/win32.h"

namespace {

class NameServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  void TearDown() override { WSACleanup(); }

  // The address texts `node` resolves to for `family`, or the error.
  static std::vector<std::wstring> Resolve(const char* node, int family, int* error) {
    ADDRINFOA hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    PADDRINFOA list = nullptr;
    *error = getaddrinfo(node, nullptr, &hints, &list);
    std::vector<std::wstring> texts;
    for (PADDRINFOA entry = list; entry; entry = entry->ai_next) {
      EXPECT_EQ(entry->ai_socktype, SOCK_STREAM);
      EXPECT_EQ(entry->ai_protocol, IPPROTO_TCP);
      wchar_t text[64] = {};
      DWORD length = 64;
      EXPECT_EQ(WSAAddressToStringW(entry->ai_addr, static_cast<DWORD>(entry->ai_addrlen), nullptr, text, &length), 0);
      texts.push_back(text);
    }
    freeaddrinfo(list);
    return texts;
  }
};

TEST_F(NameServiceTest, NamesResolveInTheirOrderAndByFamily) {
  host::network::SetHostAddresses("Printer7.Corp", {"10.0.0.7", "fe80::7%5", "10.0.0.8"});
  int error = -1;
  EXPECT_EQ(Resolve("printer7.corp", AF_UNSPEC, &error),
            (std::vector<std::wstring>{L"10.0.0.7", L"fe80::7%5", L"10.0.0.8"}));
  EXPECT_EQ(Resolve("PRINTER7.CORP", AF_INET, &error), (std::vector<std::wstring>{L"10.0.0.7", L"10.0.0.8"}));
  EXPECT_EQ(Resolve("printer7.corp", AF_INET6, &error), (std::vector<std::wstring>{L"fe80::7%5"}));
  EXPECT_EQ(error, 0);

  host::network::SetHostAddresses("v4only", {"10.0.0.9"});
  EXPECT_TRUE(Resolve("v4only", AF_INET6, &error).empty());
  EXPECT_EQ(error, WSAHOST_NOT_FOUND);
  EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
}

TEST_F(NameServiceTest, OwnNameLocalhostAndChosenFailures) {
  int error = -1;
  EXPECT_EQ(Resolve("", AF_INET, &error), (std::vector<std::wstring>{L"192.168.1.20"}));
  EXPECT_EQ(Resolve("localhost", AF_UNSPEC, &error), (std::vector<std::wstring>{L"127.0.0.1", L"::1"}));
  host::network::SetComputerName("LAB-PC");
  host::network::SetHostAddresses("lab-pc", {"10.5.5.5"});
  EXPECT_EQ(Resolve("", AF_INET, &error), (std::vector<std::wstring>{L"10.5.5.5"}));

  host::network::SetHostFailure("dns-down", WSATRY_AGAIN);
  EXPECT_TRUE(Resolve("dns-down", AF_INET, &error).empty());
  EXPECT_EQ(error, WSATRY_AGAIN);

  // A name is not looked up when only numeric hosts are asked for.
  ADDRINFOA numericOnly{};
  numericOnly.ai_flags = AI_NUMERICHOST;
  PADDRINFOA list = nullptr;
  EXPECT_EQ(getaddrinfo("localhost", nullptr, &numericOnly, &list), WSAHOST_NOT_FOUND);
  EXPECT_EQ(list, nullptr);

  host::network::ClearNames();
  EXPECT_TRUE(Resolve("localhost", AF_INET, &error).empty());
  EXPECT_EQ(error, WSAHOST_NOT_FOUND);
}

TEST(NameServiceWithoutStart, CallsNeedTheSocketLibrary) {
  PADDRINFOA list = nullptr;
  EXPECT_EQ(getaddrinfo("localhost", nullptr, nullptr, &list), WSANOTINITIALISED);
  EXPECT_EQ(list, nullptr);
  char name[64];
  EXPECT_EQ(gethostname(name, 64), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  DWORD length = 0;
  EXPECT_EQ(WSAEnumProtocolsW(nullptr, nullptr, &length), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  wchar_t text[] = L"10.0.0.1";
  sockaddr_in address{};
  INT size = sizeof address;
  EXPECT_EQ(WSAStringToAddressW(text, AF_INET, nullptr, reinterpret_cast<LPSOCKADDR>(&address), &size), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(NetworkAccounting, WhatTheProgramHoldsIsListedUntilReleased) {
  WSADATA data{};
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  PADDRINFOA list = nullptr;
  ASSERT_EQ(getaddrinfo("localhost", nullptr, nullptr, &list), 0);
  HMODULE library = LoadLibraryW(L"icmp.dll");
  ASSERT_NE(library, nullptr);
  using IcmpCreateFileFn = HANDLE(WINAPI*)();
  using IcmpCloseHandleFn = BOOL(WINAPI*)(HANDLE);
  auto create = reinterpret_cast<IcmpCreateFileFn>(reinterpret_cast<void*>(GetProcAddress(library, "IcmpCreateFile")));
  auto close = reinterpret_cast<IcmpCloseHandleFn>(reinterpret_cast<void*>(GetProcAddress(library, "IcmpCloseHandle")));
  ASSERT_TRUE(create && close);
  HANDLE icmp = create();
  HGLOBAL block = GlobalAlloc(GPTR, 28);

  std::vector<std::string> open = host::OpenResources();
  auto listed = [&open](const std::string& part) {
    return std::any_of(open.begin(), open.end(), [&](const std::string& item) { return item.find(part) != std::string::npos; });
  };
  EXPECT_TRUE(listed("getaddrinfo"));
  EXPECT_TRUE(listed("icmp.dll loaded (1 references)"));
  EXPECT_TRUE(listed("ICMP handle"));
  EXPECT_TRUE(listed("global memory of 28 bytes"));
  EXPECT_EQ(host::network::OpenIcmpHandles(), 1);

  EXPECT_TRUE(close(icmp));
  EXPECT_FALSE(close(icmp));  // a handle is closed once
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GlobalFree(block), nullptr);
  freeaddrinfo(list);
  EXPECT_TRUE(FreeLibrary(library));
  EXPECT_FALSE(FreeLibrary(library));  // no reference left
  WSACleanup();
  EXPECT_TRUE(host::OpenResources().empty());
}

TEST(Libraries, AbsentLibrariesAndEntryPoints) {
  host::libraries::SetPresent(L"icmp.dll", false);
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(L"ICMP.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  host::libraries::RemoveEntryPoint(L"iphlpapi.dll", "GetIpAddrTable");
  HMODULE library = LoadLibraryW(L"C:\\Windows\\System32\\iphlpapi.dll");
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(GetProcAddress(library, "GetIpAddrTable"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_NE(GetProcAddress(library, "GetNumberOfInterfaces"), nullptr);
  EXPECT_TRUE(FreeLibrary(library));
  // A freed library's handle no longer finds entry points.
  EXPECT_EQ(GetProcAddress(library, "GetNumberOfInterfaces"), nullptr);
}

TEST(Libraries, AddressTableRowsInTheOrderSet) {
  host::network::SetLocalAddresses({"10.0.0.2", "10.0.0.1"});
  HMODULE library = LoadLibraryW(L"iphlpapi.dll");
  using GetIpAddrTableFn = DWORD(WINAPI*)(PMIB_IPADDRTABLE, PULONG, BOOL);
  auto getTable = reinterpret_cast<GetIpAddrTableFn>(reinterpret_cast<void*>(GetProcAddress(library, "GetIpAddrTable")));
  ASSERT_NE(getTable, nullptr);
  ULONG size = sizeof(MIB_IPADDRTABLE);
  std::vector<unsigned char> block(64);
  auto* table = reinterpret_cast<PMIB_IPADDRTABLE>(block.data());
  // 28 bytes hold one row; two need 4 + 2 * 24.
  EXPECT_EQ(getTable(table, &size, FALSE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, sizeof(DWORD) + 2 * sizeof(MIB_IPADDRROW));
  EXPECT_EQ(getTable(table, &size, FALSE), static_cast<DWORD>(NO_ERROR));
  ASSERT_EQ(table->dwNumEntries, 2u);
  EXPECT_EQ(table->table[0].dwAddr, inet_addr("10.0.0.2"));
  EXPECT_EQ(table->table[1].dwAddr, inet_addr("10.0.0.1"));
  EXPECT_TRUE(FreeLibrary(library));
}

}  // namespace
