// The spooler's functions reached through winspool.drv from the system directory: the library is
// loaded once, on first use, and kept for the life of the process.
#include "platform/spooler_library.h"

#include <gtest/gtest.h>

#include "host/files.h"
#include "host/libraries.h"
#include "host/machine.h"
#include "host/network.h"
#include "host/spooler.h"
#include "support/cases.h"

namespace {

int References() { return host::libraries::References(L"winspool.drv"); }

TEST(SpoolerLibrary, TheSystemsLibraryIsLoadedOnceAndKept) {
  // With or without the loader's search flags (Windows 7 without KB2533623 lacks them, and
  // AddDllDirectory with them), the system's library is the one loaded, though the machine's
  // default search looks beside the program first, where a planted file lies. Without the flags
  // it is named by its path, its own dependencies looked for beside it.
  for (bool searchFlags : {true, false}) {
    SCOPED_TRACE(searchFlags);
    testing_support::NextCase(searchFlags ? "search flags" : "no search flags");
    if (!searchFlags) host::libraries::RemoveSearchFlags();
    host::SetModuleFileName(L"C:\\Program\\corvel.exe");
    host::WriteFile(L"C:\\Program\\winspool.drv", "planted");
    host::spooler::AddPrinter(host::spooler::Printer{L"Office", L"USB001", L"TV Vexline Q5530n MFP"});

    DWORD needed = 0;
    DWORD returned = 0;
    EXPECT_FALSE(spooler::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(References(), 1);
    HANDLE printer = nullptr;
    ASSERT_TRUE(spooler::OpenPrinterW(const_cast<LPWSTR>(L"Office"), &printer, nullptr));
    EXPECT_FALSE(spooler::GetPrinterW(printer, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(spooler::ClosePrinter(printer));
    EXPECT_EQ(References(), 1);
    EXPECT_FALSE(spooler::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(References(), 1);

    const std::vector<host::libraries::LoadCall> loads = host::libraries::Loads();
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].api, "LoadLibraryExW");
    EXPECT_EQ(loads[0].fileName, searchFlags ? L"winspool.drv" : L"C:\\Windows\\system32\\winspool.drv");
    EXPECT_EQ(loads[0].flags, searchFlags ? static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32)
                                          : static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH));
  }
}

TEST(SpoolerLibrary, ALibraryThatDidNotLoadIsTriedAgain) {
  host::spooler::AddPrinter(host::spooler::Printer{L"Office", L"USB001", L"TV Vexline Q5530n MFP"});
  host::libraries::SetPresent(L"winspool.drv", false);
  DWORD needed = 0;
  DWORD returned = 0;
  EXPECT_FALSE(spooler::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  host::libraries::SetPresent(L"winspool.drv", true);
  EXPECT_FALSE(spooler::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(References(), 1);
  EXPECT_EQ(host::libraries::Loads().size(), 2u);
}

}  // namespace
