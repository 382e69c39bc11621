// Console control handlers and the process token's elevation, as corvelcmd uses them.
#include "conformance.h"

namespace {

using conformance::kPoison;

BOOL WINAPI FirstHandler(DWORD) { return TRUE; }
BOOL WINAPI SecondHandler(DWORD) { return TRUE; }

TEST(Console, HandlersAreRemovedOnceEachAndAnUnknownOneIsRefused) {
  EXPECT_TRUE(SetConsoleCtrlHandler(&FirstHandler, TRUE));
  EXPECT_TRUE(SetConsoleCtrlHandler(&SecondHandler, TRUE));
  EXPECT_TRUE(SetConsoleCtrlHandler(&FirstHandler, FALSE));
  SetLastError(kPoison);
  EXPECT_FALSE(SetConsoleCtrlHandler(&FirstHandler, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(SetConsoleCtrlHandler(&SecondHandler, FALSE));
  // A null handler sets and clears the process's ignoring of Ctrl+C.
  EXPECT_TRUE(SetConsoleCtrlHandler(nullptr, TRUE));
  EXPECT_TRUE(SetConsoleCtrlHandler(nullptr, FALSE));
}

TEST(Console, TheTokenElevationTakesFourBytesAndRefusesLess) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  ASSERT_NE(token, nullptr);

  TOKEN_ELEVATION elevation{kPoison};
  DWORD length = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation - 1, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(length, sizeof elevation);
  EXPECT_EQ(elevation.TokenIsElevated, kPoison);

  length = kPoison;
  EXPECT_TRUE(GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length));
  EXPECT_EQ(length, sizeof elevation);
  EXPECT_LE(elevation.TokenIsElevated, 1u);
  EXPECT_TRUE(CloseHandle(token));
}

}  // namespace
