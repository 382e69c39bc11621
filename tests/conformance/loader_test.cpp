// LoadLibraryExW as the program uses it for the print spooler: a bare name searched for in the
// system directory alone, the entry points through GetProcAddress, and the errors for what is
// missing or asked for wrongly.
#include <cwchar>

#include "conformance.h"

namespace {

using conformance::kPoison;

TEST(Loader, SystemDirectorySearchFindsTheSpoolerAndReportsWhatIsMissing) {
  SetLastError(kPoison);
  HMODULE spooler = LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  ASSERT_NE(spooler, nullptr) << GetLastError();
  for (const char* entry : {"EnumPrintersW", "OpenPrinterW", "GetPrinterW", "ClosePrinter", "EnumPortsW", "XcvDataW"}) {
    EXPECT_NE(GetProcAddress(spooler, entry), nullptr) << entry;
  }
  SetLastError(kPoison);
  EXPECT_EQ(GetProcAddress(spooler, "NoSuchEntryPoint"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(spooler));

  // The loader has the search flags, and AddDllDirectory tells so. Named by its full path in the
  // system directory, with the altered search path, the spooler loads too.
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(kernel32, nullptr);
  EXPECT_NE(GetProcAddress(kernel32, "AddDllDirectory"), nullptr);
  wchar_t path[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length + 14, static_cast<UINT>(MAX_PATH));
  std::wcscpy(path + length, L"\\winspool.drv");
  SetLastError(kPoison);
  spooler = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(spooler, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(spooler, "EnumPrintersW"), nullptr);
  EXPECT_TRUE(FreeLibrary(spooler));

  struct Case {
    const wchar_t* name;
    DWORD flags;
    DWORD error;
  };
  const Case failures[] = {
      {L"no_such_library_here.dll", LOAD_LIBRARY_SEARCH_SYSTEM32, ERROR_MOD_NOT_FOUND},
      // The altered search path is for a path, and does not combine with the search flags.
      {L"winspool.drv", LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_WITH_ALTERED_SEARCH_PATH, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : failures) {
    SCOPED_TRACE(c.flags);
    SetLastError(kPoison);
    EXPECT_EQ(LoadLibraryExW(c.name, nullptr, c.flags), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

}  // namespace
