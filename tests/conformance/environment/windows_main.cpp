// Test main of the conformance program on Windows and under Wine. A test fails when the process
// holds more handles at its end than at its start. Wine's GetProcessHandleCount reports no
// handles at all; there the count is not checked, and the cases' own CloseHandle checks remain.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/win32.h"

namespace {

DWORD HandleCount() {
  DWORD count = 0;
  if (!GetProcessHandleCount(GetCurrentProcess(), &count)) return 0;
  return count;
}

class HandleCountListener : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override { before_ = HandleCount(); }

  void OnTestEnd(const ::testing::TestInfo&) override {
    DWORD after = HandleCount();
    if (after > before_) ADD_FAILURE() << "the test left " << (after - before_) << " handle(s) open";
  }

 private:
  DWORD before_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // A process always holds some handles; a count of zero means the system does not count them.
  if (HandleCount() > 0) {
    ::testing::UnitTest::GetInstance()->listeners().Append(new HandleCountListener);
  } else {
    std::printf("Open handles are not counted: GetProcessHandleCount reports none.\n");
  }
  return RUN_ALL_TESTS();
}
