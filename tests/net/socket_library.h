// Keeps the socket library started for the life of a test object (the address conversions need it).
#pragma once

#include <gtest/gtest.h>

#include "platform/win32.h"

namespace net_test {

class SocketLibrary {
 public:
  SocketLibrary() {
    WSADATA data{};
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  ~SocketLibrary() { WSACleanup(); }
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
};

}  // namespace net_test
