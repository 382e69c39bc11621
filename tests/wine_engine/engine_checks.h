// Shared by the engine's Wine cases.
#pragma once

#include <gtest/gtest.h>

#include "platform/win32.h"

namespace wine_engine {

// The USB hardware match text the download workflow hands the facade; on the network it is
// only logged.
constexpr wchar_t kDeviceMatch[] = L"vid_7e51&pid_a717";

// Each network operation starts and releases the socket library itself, so none is left
// started: a further WSACleanup fails with WSANOTINITIALISED, on Windows as under Wine.
inline void ExpectSocketLibraryReleased() {
  WSASetLastError(0);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

}  // namespace wine_engine
