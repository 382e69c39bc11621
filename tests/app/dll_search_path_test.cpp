// Start-up restricts the library search to the system directory, with the older call where the
// newer one is missing.
#include "app/dll_search_path.h"

#include <gtest/gtest.h>

#include "host/machine.h"

namespace {

TEST(DllSearchPath, SystemDirectoryOnlyOrNoCurrentDirectory) {
  for (bool newerCall : {true, false}) {
    SCOPED_TRACE(newerCall);
    host::ResetMachine();
    // Without the newer entry point its look-up fails.
    if (!newerCall) host::FailCall("GetProcAddress", ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(RestrictDllSearchPath());
    EXPECT_EQ(host::CallCount("SetDefaultDllDirectories"), newerCall ? 1 : 0);
    EXPECT_EQ(host::CallCount("SetDllDirectoryW"), newerCall ? 0 : 1);
  }
}

}  // namespace
