// The simulated print spooler against documented Windows behaviour: level-2 records packed into
// the caller's buffer, the two-call size negotiation with error 122, printer handles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/machine.h"
#include "host/spooler.h"
#include "platform/win32.h"

namespace {

using host::spooler::Printer;

constexpr DWORD kLocalAndConnections = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;

TEST(SpoolerTest, EnumPrintersNegotiatesTheExactSize) {
  host::spooler::AddPrinter(Printer{L"Office", L"USB001", L"Driver A", L"Second floor", 3});
  host::spooler::AddPrinter(Printer{L"Remote", std::nullopt, L"Driver B", std::nullopt, 0, true});

  DWORD needed = 0xBAD;
  DWORD returned = 0xBAD;
  SetLastError(0xDEAD);
  EXPECT_FALSE(EnumPrintersW(kLocalAndConnections, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 0u);
  size_t texts = (7 + 7 + 9 + 13 + 7 + 9) * sizeof(WCHAR);
  ASSERT_EQ(needed, 2 * sizeof(PRINTER_INFO_2W) + texts);

  std::vector<BYTE> buffer(needed + 1);
  DWORD again = 0;
  EXPECT_FALSE(EnumPrintersW(kLocalAndConnections, nullptr, 2, buffer.data(), needed - 1, &again, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(again, needed);

  ASSERT_TRUE(EnumPrintersW(kLocalAndConnections, nullptr, 2, buffer.data(), needed, &again, &returned));
  ASSERT_EQ(returned, 2u);
  const auto* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  EXPECT_STREQ(records[0].pPrinterName, L"Office");
  EXPECT_STREQ(records[0].pPortName, L"USB001");
  EXPECT_STREQ(records[0].pDriverName, L"Driver A");
  EXPECT_STREQ(records[0].pComment, L"Second floor");
  EXPECT_EQ(records[0].cJobs, 3u);
  // Absent texts are null pointers; present ones point into the caller's buffer.
  EXPECT_EQ(records[1].pPortName, nullptr);
  EXPECT_EQ(records[1].pComment, nullptr);
  auto inside = [&](const void* p) { return p >= buffer.data() && p < buffer.data() + needed; };
  EXPECT_TRUE(inside(records[1].pDriverName));
}

TEST(SpoolerTest, EnumPrintersSelectsByFlagAndLevel) {
  host::spooler::AddPrinter(Printer{L"Local", L"LPT1:", L"D"});
  host::spooler::AddPrinter(Printer{L"Shared", L"\\\\srv\\q", L"D", std::nullopt, 0, true});
  DWORD needed = 0;
  DWORD returned = 0;
  std::vector<BYTE> buffer(4096);
  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_CONNECTIONS, nullptr, 2, buffer.data(), 4096, &needed, &returned));
  ASSERT_EQ(returned, 1u);
  EXPECT_STREQ(reinterpret_cast<PRINTER_INFO_2W*>(buffer.data())->pPrinterName, L"Shared");

  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 1, buffer.data(), 4096, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), 4096, nullptr, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
}

TEST(SpoolerTest, NoPrintersSucceedsWithoutBuffer) {
  // With nothing installed the call succeeds with 0 bytes and 0 records, also without a buffer
  // (as Wine's winspool does in dlls/winspool.drv/info.c).
  // Windows clears the last error then (Wine's EnumPrinters tests, which run on Windows too).
  DWORD needed = 0xBAD;
  DWORD returned = 0xBAD;
  SetLastError(0xBAD);
  EXPECT_TRUE(EnumPrintersW(kLocalAndConnections, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
}

TEST(SpoolerTest, PrinterHandlesOpenByNameAndAreAccounted) {
  host::spooler::AddPrinter(Printer{L"Office", L"USB001", L"Driver A"});
  HANDLE printer = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(L"Nobody"), &printer, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));

  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"OFFICE"), &printer, nullptr));
  ASSERT_EQ(host::OpenResources().size(), 1u);
  EXPECT_NE(host::OpenResources()[0].find("printer \"Office\""), std::string::npos);

  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, sizeof(PRINTER_INFO_2W) + (7 + 7 + 9) * sizeof(WCHAR));
  std::vector<BYTE> buffer(needed);
  EXPECT_FALSE(GetPrinterW(printer, 2, buffer.data(), needed - 1, &needed));
  ASSERT_TRUE(GetPrinterW(printer, 2, buffer.data(), needed, &needed));
  EXPECT_STREQ(reinterpret_cast<PRINTER_INFO_2W*>(buffer.data())->pPortName, L"USB001");

  EXPECT_TRUE(ClosePrinter(printer));
  EXPECT_FALSE(ClosePrinter(printer));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(SpoolerTest, InjectedFaultsFailWithTheChosenError) {
  host::spooler::AddPrinter(Printer{L"Office", L"USB001", L"Driver A"});
  host::FailCall("OpenPrinterW", ERROR_ACCESS_DENIED);
  HANDLE printer = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(L"Office"), &printer, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(host::OpenResources().empty());
  EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"Office"), &printer, nullptr));
  EXPECT_TRUE(ClosePrinter(printer));
  EXPECT_EQ(host::CallCount("OpenPrinterW"), 2);
}

}  // namespace
