// Start-up restricts the library search to the system directory, with the older call where the
// newer one is missing.
#include "app/dll_search_path.h"

#include <gtest/gtest.h>

#include "host/files.h"
#include "host/libraries.h"
#include "host/machine.h"
#include "host/network.h"
#include "platform/win32.h"
#include "support/cases.h"

namespace {

TEST(DllSearchPath, SystemDirectoryOnlyOrNoCurrentDirectory) {
  for (bool newerCall : {true, false}) {
    SCOPED_TRACE(newerCall);
    testing_support::NextCase(newerCall ? "SetDefaultDllDirectories" : "SetDllDirectoryW");
    // Libraries named as the system's are planted beside the program and in the current folder.
    host::SetModuleFileName(L"C:\\Program\\corvel.exe");
    host::WriteFile(L"C:\\Program\\iphlpapi.dll", "planted");
    host::WriteFile(L"C:\\Work\\icmp.dll", "planted");
    host::SetCurrentDirectory(L"C:\\Work");
    // Without the newer entry point its look-up fails.
    if (!newerCall) host::FailCall("GetProcAddress", ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(RestrictDllSearchPath());
    std::wstring directory = L"unset";
    EXPECT_EQ(host::libraries::DllDirectory(&directory), !newerCall);
    if (!newerCall) EXPECT_EQ(directory, L"");
    EXPECT_EQ(host::libraries::DefaultDllDirectories(), newerCall ? static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32) : 0u);
    // The system's libraries load, with their entry points; the planted ones do not (the older
    // call leaves the program's folder first, as Windows does).
    const struct {
      const wchar_t* library;
      const char* entryPoint;
      bool systemOne;
    } loads[] = {{L"iphlpapi", "GetIpAddrTable", newerCall}, {L"icmp", "IcmpCreateFile", true}};
    for (const auto& load : loads) {
      HMODULE library = LoadLibraryW(load.library);
      ASSERT_NE(library, nullptr);
      EXPECT_EQ(GetProcAddress(library, load.entryPoint) != nullptr, load.systemOne) << load.entryPoint;
      EXPECT_TRUE(FreeLibrary(library));
    }
  }
}

}  // namespace
