// Installed printer enumeration on the simulated spooler: which printers are listed, the walk
// over them, the port name and descriptive fields, and every spooler failure's line.
#include "discovery/installed_printers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/machine.h"
#include "host/spooler.h"
#include "error_lines.h"
#include "support/cases.h"
#include "support/trace.h"

namespace {

using host::spooler::Printer;
using discovery_test::ErrorTraced;
using discovery_test::FailureCase;
using testing_support::TraceCount;
using testing_support::Traced;
using testing_support::TraceTexts;

const std::vector<std::wstring> kDrivers = {L"TV Vexline Q5530n MFP"};

TEST(InstalledPrintersTest, DriverNamesMatchWholeAndWithoutCase) {
  host::spooler::AddPrinter(Printer{L"Upper", L"USB001", L"TV VEXLINE Q5530N MFP"});
  host::spooler::AddPrinter(Printer{L"Suffixed", L"USB002", L"TV Vexline Q5530n MFP PCL6"});
  host::spooler::AddPrinter(Printer{L"NoDriver", L"USB003", std::nullopt});
  host::spooler::AddPrinter(Printer{L"Shared", L"\\\\srv\\q", L"tv vexline q5530n mfp", std::nullopt, 0, true});

  std::vector<std::wstring> names = {L"stale"};
  EXPECT_EQ(FindInstalledPrinters(names, kDrivers), 2);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Upper", L"Shared"}));
  EXPECT_TRUE(Traced(L"FindInstalledPrinters(driverList 1 elements)"));
  EXPECT_TRUE(Traced(L"  Found one of our printers Upper, count=1"));
  EXPECT_TRUE(Traced(L"  Found one of our printers Shared, count=2"));
}

TEST(InstalledPrintersTest, EveryMatchingDriverEntryListsThePrinterOnce) {
  host::spooler::AddPrinter(Printer{L"Office", L"USB001", L"TV Vexline Q5530n MFP"});
  InstalledPrinterList list;
  wchar_t name[PRINTER_TEXT_CHARS] = L"untouched";
  ASSERT_EQ(GetFirstInstalledPrinter(list, name, {L"TV Vexline Q5530n MFP", L"tv vexline q5530n mfp"}), 1);
  EXPECT_STREQ(name, L"Office");
  EXPECT_EQ(list.count, 2);
  ASSERT_EQ(GetNextInstalledPrinter(list, name), 1);
  EXPECT_STREQ(name, L"Office");
  EXPECT_TRUE(Traced(L"  Found one of our printers Office, count=2"));

  // Walking past the last name leaves the buffer alone, however often it is asked.
  wcscpy(name, L"last");
  EXPECT_EQ(GetNextInstalledPrinter(list, name), 0);
  EXPECT_EQ(GetNextInstalledPrinter(list, name), 0);
  EXPECT_STREQ(name, L"last");
  EXPECT_EQ(TraceCount(L"GetNextInstalledPrinter()"), 3);

  // A second pass searches afresh.
  host::spooler::RemovePrinter(L"Office");
  EXPECT_EQ(GetFirstInstalledPrinter(list, name, kDrivers), 0);
  EXPECT_TRUE(list.names.empty());
  EXPECT_STREQ(name, L"last");
}

TEST(InstalledPrintersTest, EmptyDriverListAndEmptyMachine) {
  std::vector<std::wstring> names;
  EXPECT_EQ(FindInstalledPrinters(names, {}), 0);
  EXPECT_TRUE(Traced(L"FindInstalledPrinters(driverList 0 elements)"));
  EXPECT_TRUE(Traced(L"ERROR: DriverNameList is empty"));
  EXPECT_EQ(host::CallCount("EnumPrintersW"), 0);

  InstalledPrinterList list;
  wchar_t name[PRINTER_TEXT_CHARS] = L"untouched";
  EXPECT_EQ(GetFirstInstalledPrinter(list, name, kDrivers), 0);
  EXPECT_STREQ(name, L"untouched");
  std::vector<std::wstring> texts = TraceTexts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], L"  No Printers installed");
  EXPECT_EQ(texts.back(), L" Found NO printers with our drivername");
}

TEST(InstalledPrintersTest, EnumerationFailuresGiveTheirLinesAndNoNames) {
  host::spooler::AddPrinter(Printer{L"Office", L"USB001", L"TV Vexline Q5530n MFP"});
  std::vector<std::wstring> names = {L"stale"};

  host::FailCall("EnumPrintersW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(FindInstalledPrinters(names, kDrivers), 0);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(ErrorTraced(L"  EnumPrinters failed", ERROR_ACCESS_DENIED));

  host::FailCall("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(FindInstalledPrinters(names, kDrivers), 0);
  EXPECT_TRUE(Traced(L"  malloc failed"));

  // The second call fails after the buffer was taken: the buffer is released (leak check).
  host::FailCall("EnumPrintersW", ERROR_INVALID_PRINTER_STATE, 1, 1);
  EXPECT_EQ(FindInstalledPrinters(names, kDrivers), 0);
  EXPECT_TRUE(ErrorTraced(L"  EnumPrinters failed", ERROR_INVALID_PRINTER_STATE));
  EXPECT_TRUE(names.empty());
}

TEST(InstalledPrintersTest, NamesThatDoNotFitAreLeftOut) {
  std::wstring longName(PRINTER_TEXT_CHARS, L'N');
  host::spooler::AddPrinter(Printer{longName, L"USB001", L"TV Vexline Q5530n MFP"});
  host::spooler::AddPrinter(Printer{longName.substr(1), L"USB002", L"TV Vexline Q5530n MFP"});
  std::vector<std::wstring> names;
  EXPECT_EQ(FindInstalledPrinters(names, kDrivers), 1);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].size(), PRINTER_TEXT_CHARS - 1);
  EXPECT_EQ(TraceCount(L"  Printer name too long (256 characters), left out: " + longName.substr(0, 40) + L"..."), 1);
}

TEST(InstalledPrintersTest, PortNameAsTheSpoolerGivesIt) {
  host::spooler::AddPrinter(Printer{L"Office", L"USB001", L"D"});
  host::spooler::AddPrinter(Printer{L"Portless", std::nullopt, L"D"});
  host::spooler::AddPrinter(Printer{L"Huge", std::wstring(PRINTER_TEXT_CHARS, L'P'), L"D"});
  wchar_t port[PRINTER_TEXT_CHARS] = L"old";
  EXPECT_EQ(GetPortname(port, L"Office"), 1);
  EXPECT_STREQ(port, L"USB001");
  EXPECT_EQ(GetPortname(port, L"Portless"), 1);
  EXPECT_STREQ(port, L"");
  // A port name that does not fit is refused, never cut into another port's name.
  wcscpy(port, L"old");
  EXPECT_EQ(GetPortname(port, L"Huge"), 0);
  EXPECT_STREQ(port, L"");
  EXPECT_EQ(TraceCount(L"GetPortname()"), 3);
}

TEST(InstalledPrintersTest, PortNameFailuresLogTheErrorCode) {
  host::spooler::AddPrinter(Printer{L"Office", L"USB001", L"D"});
  wchar_t port[PRINTER_TEXT_CHARS] = L"old";
  EXPECT_EQ(GetPortname(port, L"Missing"), 0);
  EXPECT_TRUE(Traced(L"OpenPrinter() failed (gle=1801)"));
  EXPECT_STREQ(port, L"");

  host::FailCall("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(GetPortname(port, L"Office"), 0);
  EXPECT_TRUE(Traced(L"malloc failed (gle=8)"));

  host::FailCall("GetPrinterW", ERROR_ACCESS_DENIED, 1, 1);
  wcscpy(port, L"old");
  EXPECT_EQ(GetPortname(port, L"Office"), 0);
  EXPECT_TRUE(Traced(L"GetPrinter failed (gle=5)"));
  EXPECT_STREQ(port, L"");
}

TEST(InstalledPrintersTest, PrinterInfoFieldsAndLines) {
  host::spooler::AddPrinter(Printer{L"Office", L"USB001", L"TV Vexline Q5530n MFP", L"Second floor", 7});
  host::spooler::AddPrinter(Printer{L"Bare", std::nullopt, std::nullopt, std::nullopt, 0});
  PrinterInfo info{};
  ASSERT_EQ(GetPrinterInfo(info, L"Office"), 1);
  EXPECT_STREQ(info.portName, L"USB001");
  EXPECT_STREQ(info.comment, L"Second floor");
  EXPECT_STREQ(info.jobs, L"7");
  EXPECT_STREQ(info.driver, L"TV Vexline Q5530n MFP");
  std::vector<std::wstring> texts = TraceTexts();
  std::vector<std::wstring> expected = {L"GetPrinterInfo(Office)----",       L"pInfo -",
                                        L"       comment: Second floor",     L"       portName: USB001",
                                        L"       driver: TV Vexline Q5530n MFP", L"       jobs: 7"};
  EXPECT_EQ(texts, expected);

  ASSERT_EQ(GetPrinterInfo(info, L"Bare"), 1);
  EXPECT_STREQ(info.portName, L"");
  EXPECT_STREQ(info.comment, L"");
  EXPECT_STREQ(info.driver, L"");
  EXPECT_STREQ(info.jobs, L"0");
}

TEST(InstalledPrintersTest, PrinterInfoFailuresKeepTheDriverAndReleaseEverything) {
  host::spooler::AddPrinter(Printer{L"Office", L"USB001", L"TV Vexline Q5530n MFP", L"Second floor", 7});
  const FailureCase cases[] = {
      {"OpenPrinterW", ERROR_ACCESS_DENIED, 0, L"OpenPrinter() failed"},
      {"GetPrinterW", ERROR_INVALID_HANDLE, 0, L"GetPrinter-1() failed"},
      {"LocalAlloc", ERROR_NOT_ENOUGH_MEMORY, 0, L"malloc() failed"},
      {"GetPrinterW", ERROR_ACCESS_DENIED, 1, L"GetPrinter-2() failed"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.api);
    PrinterInfo info{};
    wcscpy(info.portName, L"p");
    wcscpy(info.comment, L"c");
    wcscpy(info.jobs, L"j");
    wcscpy(info.driver, L"kept");
    host::FailCall(c.api, c.error, 1, c.skip);
    EXPECT_EQ(GetPrinterInfo(info, L"Office"), 0);
    EXPECT_TRUE(ErrorTraced(c.context, c.error));
    EXPECT_STREQ(info.portName, L"");
    EXPECT_STREQ(info.comment, L"");
    EXPECT_STREQ(info.jobs, L"");
    EXPECT_STREQ(info.driver, L"kept");
    EXPECT_TRUE(testing_support::OpenBesidesTheProcess().empty());
  }
  // The second query's failure also has a plain line before its error line.
  EXPECT_TRUE(Traced(L"GetPrinter-2() failed"));
}

}  // namespace
