// Network port address lookup on the simulated spooler and registry: the port monitor's answer
// first, the monitor's registry settings after it, every trace line and refusal, and no leaks.
#include "discovery/port_address.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "host/machine.h"
#include "host/ports.h"
#include "host/registry.h"
#include "error_lines.h"
#include "support/trace.h"

namespace {

using discovery_test::ErrorTraced;
using host::ports::Port;
using testing_support::TraceCount;
using testing_support::Traced;
using testing_support::TraceTexts;

const std::wstring kTcpMonitor = L"Standard TCP/IP Port";

std::wstring PortKey(const std::wstring& monitorKey, const std::wstring& port) {
  return L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\" + monitorKey + L"\\Ports\\" + port;
}

void AddTcpPort(const std::wstring& name, const std::wstring& description = kTcpMonitor) {
  host::ports::AddPort(Port{name, kTcpMonitor, description});
}

void SetRegistryAddress(const std::wstring& port, const std::wstring& text) {
  host::registry::SetString(PortKey(kTcpMonitor, port), L"IPAddress", text);
}

// The address buffer of a caller that looked up another printer before.
struct AddressBuffer {
  wchar_t text[PORT_ADDRESS_CHARS];
  explicit AddressBuffer(const wchar_t* previous = L"") { std::wcscpy(text, previous); }
};

TEST(PortAddressTest, ValidMonitorAnswerIsTakenWithoutEnumeration) {
  AddTcpPort(L"IP_10.0.0.7");
  host::ports::AnswerIPAddress(L"IP_10.0.0.7", L"10.0.0.7");
  SetRegistryAddress(L"IP_10.0.0.7", L"10.9.9.9");

  AddressBuffer address;
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_10.0.0.7", address.text), 1);
  EXPECT_STREQ(address.text, L"10.0.0.7");
  EXPECT_TRUE(Traced(L"IPbuf: 10.0.0.7"));
  EXPECT_TRUE(Traced(L"IPAddress 10.0.0.7 IS VALID"));
  EXPECT_EQ(host::ports::XcvOpenAccesses(), std::vector<DWORD>{SERVER_ACCESS_ADMINISTER});
  EXPECT_EQ(host::CallCount("EnumPortsW"), 0);
  EXPECT_EQ(host::CallCount("RegOpenKeyExW"), 0);
}

TEST(PortAddressTest, EmptyOrRejectedMonitorAnswersFallBackToTheRegistry) {
  AddTcpPort(L"LPT9:", L"Local Port");
  AddTcpPort(L"IP_A");
  SetRegistryAddress(L"IP_A", L"10.0.0.8");
  const std::wstring key = PortKey(kTcpMonitor, L"IP_A");

  host::ports::AnswerIPAddress(L"IP_A", L"");
  AddressBuffer address;
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_A", address.text), 1);
  EXPECT_STREQ(address.text, L"10.0.0.8");
  // The records are walked in the spooler's order up to the match.
  std::vector<std::wstring> texts = TraceTexts();
  auto first = std::find(texts.begin(), texts.end(), L"ports LPT9: ?= IP_A");
  ASSERT_NE(first, texts.end());
  ASSERT_NE(first + 1, texts.end());
  EXPECT_EQ(*(first + 1), L"ports IP_A ?= IP_A");
  EXPECT_TRUE(Traced(L"GetStringFromHKLM " + key + L" IPAddress"));

  // A text the monitor gives that is no valid address is replaced by the registry's.
  host::ports::AnswerIPAddress(L"IP_A", L"no-such-printer");
  AddressBuffer again;
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_A", again.text), 1);
  EXPECT_STREQ(again.text, L"10.0.0.8");
  EXPECT_TRUE(Traced(L"IPbuf: no-such-printer"));
  EXPECT_TRUE(Traced(L"Unable to resolve host name address"));

  // A host name in the registry is handed back as it is, for the caller to resolve.
  SetRegistryAddress(L"IP_A", L"printer7.corp.example");
  AddressBuffer name;
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_A", name.text), 1);
  EXPECT_STREQ(name.text, L"printer7.corp.example");
  EXPECT_FALSE(Traced(L"ValidIPAddress(printer7.corp.example)"));
}

TEST(PortAddressTest, AnEarlierPrintersAddressIsNeverTakenForThisPort) {
  AddTcpPort(L"IP_B");
  // The monitor reports failure only through its status and leaves the buffer alone.
  host::ports::FailIPAddress(L"IP_B", ERROR_INVALID_PARAMETER);
  AddressBuffer address(L"10.0.0.7");
  EXPECT_EQ(GetIPAddressViaXcvData(L"IP_B", address.text, PORT_ADDRESS_BYTES), 0);
  EXPECT_STREQ(address.text, L"");
  EXPECT_TRUE(Traced(L"  XcvData status 87, answer not used"));

  // Without a registry value nothing is found either, and the stale text is gone.
  AddressBuffer again(L"10.0.0.7");
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_B", again.text), 0);
  EXPECT_STREQ(again.text, L"");
  EXPECT_TRUE(ErrorTraced(L"GetValueFromHKLM->RegOpenKeyEx failed", ERROR_FILE_NOT_FOUND));
}

TEST(PortAddressTest, ChannelFailuresCostOneLineAndTheRegistryIsTried) {
  AddTcpPort(L"IP_C");
  SetRegistryAddress(L"IP_C", L"10.0.0.9");

  // A monitor without a data channel refuses the channel name.
  host::ports::RefuseXcvOpen(L"IP_C", ERROR_INVALID_PARAMETER);
  AddressBuffer address;
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_C", address.text), 1);
  EXPECT_STREQ(address.text, L"10.0.0.9");
  EXPECT_TRUE(Traced(L"OpenPrinter() failed (gle=87)"));

  host::ports::RefuseXcvOpen(L"IP_C", ERROR_SUCCESS);
  host::FailCall("XcvDataW", ERROR_NOT_ENOUGH_MEMORY);
  AddressBuffer again;
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_C", again.text), 1);
  EXPECT_STREQ(again.text, L"10.0.0.9");
  EXPECT_TRUE(Traced(L"XcvData failed (gle=8)"));
  EXPECT_EQ(host::CallCount("ClosePrinter"), 1);
}

TEST(PortAddressTest, PortNamesMatchExactly) {
  AddTcpPort(L"IP_A");
  SetRegistryAddress(L"IP_A", L"10.0.0.8");
  AddressBuffer address;
  EXPECT_EQ(GetIPAddressViaPortname(L"ip_a", address.text), 0);
  EXPECT_TRUE(Traced(L"ports IP_A ?= ip_a"));
  EXPECT_EQ(host::CallCount("RegOpenKeyExW"), 0);
}

TEST(PortAddressTest, MonitorKeyIsTheDescriptionWithoutTrailingPunctuation) {
  struct Case {
    std::wstring description;
    std::wstring key;
  };
  const std::vector<Case> cases = {
      {L"Standard TCP/IP Port.", L"Standard TCP/IP Port"},
      {L"Vendor Monitor 2 -- ", L"Vendor Monitor 2"},
      {L"Standard TCP/IP Port", L"Standard TCP/IP Port"},
      {L"..", L"."},  // the first character always stays
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    std::wstring port = L"IP_" + std::to_wstring(i);
    AddTcpPort(port, cases[i].description);
    host::registry::SetString(PortKey(cases[i].key, port), L"IPAddress", L"10.0.0." + std::to_wstring(i));
    AddressBuffer address;
    EXPECT_EQ(GetIPAddressViaPortname(port.c_str(), address.text), 1) << cases[i].description.c_str();
    EXPECT_EQ(std::wstring(address.text), L"10.0.0." + std::to_wstring(i));
    EXPECT_TRUE(Traced(L"GetStringFromHKLM " + PortKey(cases[i].key, port) + L" IPAddress"));
  }
}

TEST(PortAddressTest, RegistryValueMustFit256Bytes) {
  AddTcpPort(L"IP_D");
  const size_t fitting = 256 / sizeof(wchar_t) - 1;  // characters beside the terminator
  SetRegistryAddress(L"IP_D", std::wstring(fitting, L'a'));
  AddressBuffer address;
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_D", address.text), 1);
  EXPECT_EQ(std::wcslen(address.text), fitting);

  SetRegistryAddress(L"IP_D", std::wstring(fitting + 1, L'a'));
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_D", address.text), 0);
}

TEST(PortAddressTest, UnterminatedRegistryTextEndsWhereTheValueEnds) {
  AddTcpPort(L"IP_E");
  // The monitor's rejected answer is longer than the registry text that replaces it.
  host::ports::AnswerIPAddress(L"IP_E", L"no-such-printer-anywhere");
  std::wstring text = L"10.0.0.8";
  host::registry::SetValue(PortKey(kTcpMonitor, L"IP_E"), L"IPAddress", REG_SZ,
                           std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
  AddressBuffer address;
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_E", address.text), 1);
  EXPECT_STREQ(address.text, L"10.0.0.8");
}

TEST(PortAddressTest, NamesThatDoNotFitAreRefusedNotCut) {
  // ",XcvPort " and the port name must fit 256 characters with the terminator.
  std::wstring longest(PORT_ADDRESS_CHARS - 10, L'P');
  AddTcpPort(longest);
  host::ports::AnswerIPAddress(longest, L"10.0.0.7");
  AddressBuffer address;
  EXPECT_EQ(GetIPAddressViaXcvData(longest.c_str(), address.text, PORT_ADDRESS_BYTES), 1);

  std::wstring tooLong = longest + L"P";
  AddTcpPort(tooLong);
  EXPECT_EQ(GetIPAddressViaXcvData(tooLong.c_str(), address.text, PORT_ADDRESS_BYTES), 0);
  EXPECT_EQ(host::CallCount("OpenPrinterW"), 1);
  EXPECT_TRUE(Traced(L"  Port name too long (247 characters), refused: " + std::wstring(40, L'P') + L"..."));

  // Its registry key path does not fit either: refused with a line, no key is opened.
  EXPECT_EQ(GetIPAddressViaPortname(tooLong.c_str(), address.text), 0);
  EXPECT_EQ(TraceCount(L"  Registry key path for port too long (247 characters), refused: " + std::wstring(40, L'P') +
                       L"..."),
            1);
  EXPECT_EQ(host::CallCount("RegOpenKeyExW"), 0);

  // A description longer than a monitor key name is refused too.
  AddTcpPort(L"IP_F", std::wstring(PORT_ADDRESS_CHARS, L'D'));
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_F", address.text), 0);
  EXPECT_TRUE(Traced(L"  Port description too long (256 characters), refused: " + std::wstring(40, L'D') + L"..."));
  EXPECT_EQ(host::CallCount("RegOpenKeyExW"), 0);
}

TEST(PortAddressTest, EnumerationFailuresGiveNoAddress) {
  AddTcpPort(L"IP_A");
  SetRegistryAddress(L"IP_A", L"10.0.0.8");
  AddressBuffer address;

  constexpr DWORD kServerUnavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE
  host::FailCall("EnumPortsW", kServerUnavailable, 1, 1);
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_A", address.text), 0);
  host::FailCall("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_A", address.text), 0);
  EXPECT_EQ(host::CallCount("RegOpenKeyExW"), 0);

  // A registry key that opens but has no such value.
  host::registry::DeleteValue(PortKey(kTcpMonitor, L"IP_A"), L"IPAddress");
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_A", address.text), 0);
  EXPECT_EQ(host::CallCount("RegOpenKeyExW"), 1);

  // No ports at all.
  host::ports::RemovePort(L"IP_A");
  EXPECT_EQ(GetIPAddressViaPortname(L"IP_A", address.text), 0);
  EXPECT_EQ(TraceCount(L"ports IP_A ?= IP_A"), 1);
}

}  // namespace
