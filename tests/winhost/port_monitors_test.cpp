// The simulated ports and port monitors against documented Windows behaviour: EnumPortsW level 2
// with its size negotiation, the ",XcvPort <port>" data channel and XcvDataW's two results (the
// call's and the monitor's status). Argument checks follow Wine's winspool and localspl.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/machine.h"
#include "host/ports.h"
#include "host/spooler.h"
#include "platform/win32.h"
#include "support/cases.h"

namespace {

using host::ports::Port;

constexpr DWORD kPoison = 0xDEADBEEF;

HANDLE OpenChannel(const wchar_t* name, DWORD access = SERVER_ACCESS_ADMINISTER) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
  HANDLE handle = nullptr;
  return OpenPrinterW(const_cast<LPWSTR>(name), &handle, &defaults) ? handle : nullptr;
}

// One "IPAddress" request into a buffer of `bytes` bytes, pre-filled with 'x'.
struct Answer {
  BOOL result;
  DWORD status;
  DWORD needed;
  std::vector<wchar_t> buffer;
};
Answer AskIPAddress(HANDLE channel, DWORD bytes) {
  Answer answer{FALSE, kPoison, kPoison, std::vector<wchar_t>(bytes / sizeof(wchar_t) + 1, L'x')};
  answer.result = XcvDataW(channel, L"IPAddress", nullptr, 0, reinterpret_cast<PBYTE>(answer.buffer.data()), bytes,
                           &answer.needed, &answer.status);
  return answer;
}

TEST(PortMonitorsTest, EnumPortsNegotiatesTheExactSize) {
  host::ports::AddPort(Port{L"IP_10.0.0.7", L"Standard TCP/IP Port", L"Standard TCP/IP Port", PORT_TYPE_WRITE});
  host::ports::AddPort(Port{L"LPT1:", L"Local Port", std::nullopt, PORT_TYPE_WRITE | PORT_TYPE_READ});

  DWORD needed = kPoison;
  DWORD returned = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 0u);
  size_t texts = (12 + 21 + 21 + 6 + 11) * sizeof(WCHAR);
  ASSERT_EQ(needed, 2 * sizeof(PORT_INFO_2W) + texts);

  std::vector<BYTE> buffer(needed + 1);
  DWORD again = kPoison;
  returned = kPoison;
  EXPECT_FALSE(EnumPortsW(nullptr, 2, buffer.data(), needed - 1, &again, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(again, needed);
  EXPECT_EQ(returned, 0u);

  ASSERT_TRUE(EnumPortsW(nullptr, 2, buffer.data(), needed + 1, &again, &returned));
  EXPECT_EQ(again, needed);
  ASSERT_EQ(returned, 2u);
  const auto* records = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
  EXPECT_STREQ(records[0].pPortName, L"IP_10.0.0.7");
  EXPECT_STREQ(records[0].pMonitorName, L"Standard TCP/IP Port");
  EXPECT_STREQ(records[0].pDescription, L"Standard TCP/IP Port");
  EXPECT_EQ(records[0].fPortType, static_cast<DWORD>(PORT_TYPE_WRITE));
  EXPECT_STREQ(records[1].pPortName, L"LPT1:");
  EXPECT_EQ(records[1].pDescription, nullptr);
  EXPECT_EQ(records[1].fPortType, static_cast<DWORD>(PORT_TYPE_WRITE | PORT_TYPE_READ));
  auto inside = [&](const void* p) { return p >= buffer.data() && p < buffer.data() + needed; };
  EXPECT_TRUE(inside(records[1].pMonitorName));
}

TEST(PortMonitorsTest, EnumPortsRefusesBadArguments) {
  host::ports::AddPort(Port{L"LPT1:", L"Local Port", L"Local Port"});
  std::vector<BYTE> buffer(1024);
  DWORD needed = kPoison;
  DWORD returned = kPoison;
  // Level 1 is not modelled. A level is refused before the counts are written.
  EXPECT_FALSE(EnumPortsW(nullptr, 1, buffer.data(), 1024, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
  EXPECT_EQ(needed, kPoison);
  EXPECT_EQ(returned, kPoison);

  EXPECT_FALSE(EnumPortsW(const_cast<LPWSTR>(L"\\\\elsewhere"), 2, buffer.data(), 1024, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
  // An empty server name is the local computer.
  EXPECT_TRUE(EnumPortsW(const_cast<LPWSTR>(L""), 2, buffer.data(), 1024, &needed, &returned));
  EXPECT_EQ(returned, 1u);

  EXPECT_FALSE(EnumPortsW(nullptr, 2, buffer.data(), 1024, nullptr, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
  EXPECT_FALSE(EnumPortsW(nullptr, 2, buffer.data(), 1024, &needed, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
  EXPECT_FALSE(EnumPortsW(nullptr, 2, nullptr, 1024, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));

  // Without ports the call succeeds with nothing, also without a buffer.
  host::ports::RemovePort(L"lpt1:");
  needed = kPoison;
  returned = kPoison;
  EXPECT_TRUE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
}

TEST(PortMonitorsTest, DataChannelOpensByPortNameAndCountsAsPrinterHandle) {
  host::ports::AddPort(Port{L"IP_10.0.0.7", L"Standard TCP/IP Port", L"Standard TCP/IP Port"});
  HANDLE channel = OpenChannel(L",XcvPort ip_10.0.0.7");
  ASSERT_NE(channel, nullptr);
  ASSERT_EQ(host::OpenResources().size(), 1u);
  EXPECT_NE(host::OpenResources()[0].find("port monitor channel \"IP_10.0.0.7\""), std::string::npos);
  EXPECT_TRUE(ClosePrinter(channel));

  // Blanks after the comma are skipped; the access asked for is what the monitor sees.
  channel = OpenChannel(L",  XcvPort IP_10.0.0.7", 0);
  ASSERT_NE(channel, nullptr);
  EXPECT_TRUE(ClosePrinter(channel));
  EXPECT_EQ(host::ports::XcvOpenAccesses(), (std::vector<DWORD>{SERVER_ACCESS_ADMINISTER, 0}));

  SetLastError(kPoison);
  EXPECT_EQ(OpenChannel(L",XcvPort IP_10.0.0.8"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
  // Only the port channel is modelled: other names are printer names.
  EXPECT_EQ(OpenChannel(L",XcvMonitor Standard TCP/IP Port"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));

  host::ports::RefuseXcvOpen(L"IP_10.0.0.7", ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenChannel(L",XcvPort IP_10.0.0.7"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(PortMonitorsTest, MonitorAnswersIPAddressAsTheTestSetsIt) {
  host::ports::AddPort(Port{L"IP_A", L"Standard TCP/IP Port", L"Standard TCP/IP Port"});
  HANDLE channel = OpenChannel(L",XcvPort IP_A");
  ASSERT_NE(channel, nullptr);

  // No answer set: the monitor does not know the data name, as Wine's Local Port monitor
  // answers (TRUE with status 87, buffer untouched).
  Answer answer = AskIPAddress(channel, 256);
  EXPECT_TRUE(answer.result);
  EXPECT_EQ(answer.status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(answer.needed, 0u);
  EXPECT_EQ(answer.buffer[0], L'x');

  host::ports::AnswerIPAddress(L"ip_a", L"10.0.0.7");
  answer = AskIPAddress(channel, 256);
  EXPECT_TRUE(answer.result);
  EXPECT_EQ(answer.status, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(answer.needed, 9 * sizeof(WCHAR));
  EXPECT_STREQ(answer.buffer.data(), L"10.0.0.7");

  // The text and its terminator must fit; otherwise the size needed is reported and the buffer
  // is left alone. Exactly enough room is enough.
  answer = AskIPAddress(channel, 9 * sizeof(WCHAR) - 1);
  EXPECT_TRUE(answer.result);
  EXPECT_EQ(answer.status, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(answer.needed, 9 * sizeof(WCHAR));
  EXPECT_EQ(answer.buffer[0], L'x');
  answer = AskIPAddress(channel, 9 * sizeof(WCHAR));
  EXPECT_EQ(answer.status, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_STREQ(answer.buffer.data(), L"10.0.0.7");

  host::ports::AnswerIPAddress(L"IP_A", L"");
  answer = AskIPAddress(channel, 256);
  EXPECT_EQ(answer.status, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(answer.needed, sizeof(WCHAR));
  EXPECT_EQ(answer.buffer[0], L'\0');

  host::ports::FailIPAddress(L"IP_A", ERROR_NOT_SUPPORTED);
  answer = AskIPAddress(channel, 256);
  EXPECT_TRUE(answer.result);
  EXPECT_EQ(answer.status, static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(answer.buffer[0], L'x');

  // Data names are the monitor's own: another one is not known.
  DWORD needed = kPoison;
  DWORD status = kPoison;
  wchar_t buffer[64] = L"untouched";
  EXPECT_TRUE(XcvDataW(channel, L"ipaddress", nullptr, 0, reinterpret_cast<PBYTE>(buffer), sizeof buffer, &needed,
                       &status));
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_STREQ(buffer, L"untouched");
  EXPECT_TRUE(ClosePrinter(channel));
}

TEST(PortMonitorsTest, XcvDataChecksHandleAndPointers) {
  host::ports::AddPort(Port{L"IP_A", L"Standard TCP/IP Port", L"Standard TCP/IP Port"});
  host::ports::AnswerIPAddress(L"IP_A", L"10.0.0.7");
  host::spooler::AddPrinter(host::spooler::Printer{L"Office", L"IP_A", L"Driver"});
  wchar_t buffer[64] = L"untouched";
  auto output = reinterpret_cast<PBYTE>(buffer);
  DWORD needed = kPoison;
  DWORD status = kPoison;

  // A printer handle has no data channel.
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"Office"), &printer, nullptr));
  SetLastError(kPoison);
  EXPECT_FALSE(XcvDataW(printer, L"IPAddress", nullptr, 0, output, sizeof buffer, &needed, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(status, kPoison);
  EXPECT_TRUE(ClosePrinter(printer));

  HANDLE channel = OpenChannel(L",XcvPort IP_A");
  ASSERT_NE(channel, nullptr);
  EXPECT_FALSE(XcvDataW(channel, L"IPAddress", nullptr, 0, output, sizeof buffer, nullptr, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(XcvDataW(channel, L"IPAddress", nullptr, 0, output, sizeof buffer, &needed, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
  EXPECT_FALSE(XcvDataW(channel, L"IPAddress", nullptr, 0, nullptr, sizeof buffer, &needed, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
  EXPECT_STREQ(buffer, L"untouched");

  // An injected fault fails the call itself; the monitor is not asked.
  host::FailCall("XcvDataW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(XcvDataW(channel, L"IPAddress", nullptr, 0, output, sizeof buffer, &needed, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_STREQ(buffer, L"untouched");

  EXPECT_TRUE(ClosePrinter(channel));
  EXPECT_FALSE(XcvDataW(channel, L"IPAddress", nullptr, 0, output, sizeof buffer, &needed, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(PortMonitorsTest, AResetMachineKeepsTheDataChannel) {
  // The channel is a spooler name of its own, which must survive the reset before every test.
  testing_support::NextCase("after a reset");
  host::ports::AddPort(Port{L"IP_A", L"Standard TCP/IP Port", L"Standard TCP/IP Port"});
  HANDLE channel = OpenChannel(L",XcvPort IP_A");
  ASSERT_NE(channel, nullptr);
  EXPECT_TRUE(ClosePrinter(channel));
}

}  // namespace
