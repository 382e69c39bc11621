// The spooler's functions reached through winspool.drv from the system directory: the library is
// held exactly while a call runs or a printer handle is open.
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

TEST(SpoolerLibrary, APrinterHandleHoldsTheSystemsLibraryUntilItCloses) {
  // With or without the loader's search flags (Windows 7 without KB2533623 lacks them and
  // SetDefaultDllDirectories alike), the system's library is the one loaded, though the
  // machine's default search looks beside the program first, where a planted file lies.
  for (bool searchFlags : {true, false}) {
    SCOPED_TRACE(searchFlags);
    testing_support::NextCase(searchFlags ? "search flags" : "no search flags");
    if (!searchFlags) host::libraries::RemoveEntryPoint(L"kernel32.dll", "SetDefaultDllDirectories");
    host::SetModuleFileName(L"C:\\Program\\corvel.exe");
    host::WriteFile(L"C:\\Program\\winspool.drv", "planted");
    host::spooler::AddPrinter(host::spooler::Printer{L"Office", L"USB001", L"TV Vexline Q5530n MFP"});

    HANDLE printer = nullptr;
    ASSERT_TRUE(spooler::OpenPrinterW(const_cast<LPWSTR>(L"Office"), &printer, nullptr));
    EXPECT_EQ(References(), 1);
    DWORD needed = 0;
    EXPECT_FALSE(spooler::GetPrinterW(printer, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(References(), 1);
    EXPECT_TRUE(spooler::ClosePrinter(printer));
    EXPECT_EQ(References(), 0);
    EXPECT_EQ(host::CallCount("LoadLibraryW"), searchFlags ? 0 : 3);  // by its path in the system directory

    // A printer that does not open holds nothing.
    EXPECT_FALSE(spooler::OpenPrinterW(const_cast<LPWSTR>(L"Nobody"), &printer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    EXPECT_EQ(References(), 0);
  }
}

}  // namespace
