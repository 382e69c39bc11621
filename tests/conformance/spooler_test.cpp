// The print spooler's installed printers: level-2 enumeration with its size negotiation, and the
// refusals of a printer name that is not installed and of a handle that is no printer.
#include <cwchar>
#include <string>
#include <vector>

#include "conformance.h"

namespace {

using conformance::kPoison;
namespace machine = conformance::machine;

// The program lists local printers and connections to shared ones.
constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;

std::string Narrow(const wchar_t* text) {
  if (!text) return "(null)";
  std::string out;
  for (; *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
  return out;
}

class Spooler : public ::testing::Test {
 protected:
  void SetUp() override { conformance::ProvideMachineState(); }
};

TEST_F(Spooler, EnumPrintersSizeIsNegotiated) {
  DWORD needed = kPoison;
  DWORD returned = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(EnumPrintersW(kFlags, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 0u);
  ASSERT_GT(needed, sizeof(PRINTER_INFO_2W)) << "no printer installed";
  ASSERT_NE(needed, kPoison);
  const DWORD size = needed;
  std::vector<BYTE> buffer(size + 1);

  // One byte short: the same refusal and the same size.
  needed = kPoison;
  returned = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(EnumPrintersW(kFlags, nullptr, 2, buffer.data(), size - 1, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, size);
  EXPECT_EQ(returned, 0u);

  // The size asked for, and one byte more: the records, every text inside the caller's buffer.
  for (DWORD room : {size, size + 1}) {
    needed = kPoison;
    returned = kPoison;
    ASSERT_TRUE(EnumPrintersW(kFlags, nullptr, 2, buffer.data(), room, &needed, &returned))
        << "room " << room << ", error " << GetLastError();
    ASSERT_GE(returned, 1u);
    ASSERT_LE(returned * sizeof(PRINTER_INFO_2W), size);
    const BYTE* begin = buffer.data();
    const BYTE* end = begin + size;
    auto inside = [&](const wchar_t* text) {
      auto* at = reinterpret_cast<const BYTE*>(text);
      return !text || (at >= begin && at < end);
    };
    const auto* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    const PRINTER_INFO_2W* ours = nullptr;
    for (DWORD i = 0; i < returned; ++i) {
      const PRINTER_INFO_2W& record = records[i];
      EXPECT_TRUE(inside(record.pPrinterName) && inside(record.pPortName) && inside(record.pDriverName) &&
                  inside(record.pComment))
          << "printer " << Narrow(record.pPrinterName);
      if (record.pPrinterName && std::wcscmp(record.pPrinterName, machine::kPrinterName) == 0) ours = &record;
    }
    ASSERT_NE(ours, nullptr) << "\"" << Narrow(machine::kPrinterName) << "\" is not listed";
    EXPECT_STREQ(Narrow(ours->pPortName).c_str(), Narrow(machine::kPrinterPort).c_str());
    EXPECT_STREQ(Narrow(ours->pDriverName).c_str(), Narrow(machine::kPrinterDriver).c_str());
    EXPECT_STREQ(Narrow(ours->pComment).c_str(), Narrow(machine::kPrinterComment).c_str());
    EXPECT_EQ(ours->cJobs, 0u);
  }

  // Level 3 does not exist for printers, whatever the buffer.
  SetLastError(kPoison);
  EXPECT_FALSE(EnumPrintersW(kFlags, nullptr, 3, buffer.data(), size, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST_F(Spooler, EnumPrintersWithNothingToListSucceeds) {
  // The conformance printer is local, and the machine has no connections to shared printers:
  // nothing to list succeeds and needs 0 bytes, even without a buffer. (Whether the last error
  // is cleared then differs: Windows clears it for local printers, Wine not for connections.)
  DWORD needed = kPoison;
  DWORD returned = kPoison;
  EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
}

TEST_F(Spooler, PrinterNameNotInstalledDoesNotOpen) {
  HANDLE printer = nullptr;
  SetLastError(kPoison);
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(L"Conformance No Such Printer"), &printer, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

TEST_F(Spooler, PrintServerHandleIsNoPrinter) {
  // A null name opens the local print server, which has no level-2 printer information.
  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr)) << "error " << GetLastError();
  DWORD needed = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(GetPrinterW(server, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(ClosePrinter(server));
  SetLastError(kPoison);
  EXPECT_FALSE(ClosePrinter(server));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
