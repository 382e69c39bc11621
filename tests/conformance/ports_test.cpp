// Ports and the port monitor's data channel: EnumPortsW at level 2 with the spooler's size
// negotiation, and ",XcvPort <port>" with XcvDataW, whose TRUE only says that the monitor was
// asked; the monitor's own result comes back as the status.
#include <cstdint>
#include <string>
#include <vector>

#include "conformance.h"

namespace {

using conformance::kPoison;
using conformance::kTestPort;

// The level-2 records of the local computer's ports, or an empty buffer when the call failed.
std::vector<BYTE> EnumeratePorts(DWORD* returned) {
  DWORD needed = 0;
  EnumPortsW(nullptr, 2, nullptr, 0, &needed, returned);
  std::vector<BYTE> buffer(needed);
  if (needed == 0 || !EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, returned)) buffer.clear();
  return buffer;
}

const PORT_INFO_2W* FindPort(const std::vector<BYTE>& buffer, DWORD returned, const wchar_t* name) {
  const auto* records = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < returned; ++i) {
    if (records[i].pPortName && _wcsicmp(records[i].pPortName, name) == 0) return &records[i];
  }
  return nullptr;
}

bool TestPortInstalled() {
  conformance::InstallTestPort();
  DWORD returned = 0;
  std::vector<BYTE> buffer = EnumeratePorts(&returned);
  return FindPort(buffer, returned, kTestPort) != nullptr;
}

TEST(Ports, EnumPortsNegotiatesTheExactSize) {
  if (!TestPortInstalled()) GTEST_SKIP() << "the test port is not installed on this machine";
  DWORD needed = kPoison;
  DWORD returned = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 0u);
  ASSERT_GT(needed, sizeof(PORT_INFO_2W));
  ASSERT_NE(needed, kPoison);

  std::vector<BYTE> buffer(needed + 1);
  DWORD again = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(EnumPortsW(nullptr, 2, buffer.data(), needed - 1, &again, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(again, needed);

  again = kPoison;
  returned = kPoison;
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buffer.data(), needed + 1, &again, &returned));
  EXPECT_EQ(again, needed);
  ASSERT_GT(returned, 0u);
  const PORT_INFO_2W* port = FindPort(buffer, returned, kTestPort);
  ASSERT_NE(port, nullptr);
  EXPECT_STREQ(port->pDescription, L"Local Port");
  // Every text lies in the caller's buffer, after the records.
  const BYTE* texts = buffer.data() + returned * sizeof(PORT_INFO_2W);
  auto inside = [&](const void* p) { return p >= texts && p < buffer.data() + needed; };
  EXPECT_TRUE(inside(port->pPortName));
  EXPECT_TRUE(inside(port->pDescription));
}

TEST(Ports, EnumPortsRefusesAnUnknownLevel) {
  DWORD needed = kPoison;
  DWORD returned = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(EnumPortsW(nullptr, 3, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST(Ports, LocalPortMonitorDoesNotKnowIPAddress) {
  if (!TestPortInstalled()) GTEST_SKIP() << "the test port is not installed on this machine";
  std::wstring name = std::wstring(L",XcvPort ") + kTestPort;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE channel = nullptr;
  SetLastError(kPoison);
  ASSERT_TRUE(OpenPrinterW(&name[0], &channel, &defaults)) << GetLastError();

  std::vector<wchar_t> buffer = conformance::PoisonedBuffer(128);
  DWORD needed = kPoison;
  DWORD status = kPoison;
  EXPECT_TRUE(XcvDataW(channel, L"IPAddress", nullptr, 0, reinterpret_cast<PBYTE>(buffer.data()),
                       static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &needed, &status));
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(buffer[0], conformance::kPoisonChar);

  // Without the size-needed out-parameter the call itself fails.
  SetLastError(kPoison);
  EXPECT_FALSE(XcvDataW(channel, L"IPAddress", nullptr, 0, reinterpret_cast<PBYTE>(buffer.data()),
                        static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), nullptr, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(ClosePrinter(channel));
}

TEST(Ports, DataChannelOfAnUnknownPortDoesNotOpen) {
  std::wstring name = L",XcvPort CORVL_NO_SUCH_PORT";
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE channel = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(kPoison));
  SetLastError(kPoison);
  EXPECT_FALSE(OpenPrinterW(&name[0], &channel, &defaults));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
}

}  // namespace
