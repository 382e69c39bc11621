// Test main of the conformance program on Windows and under Wine. A test fails when the process
// holds more handles at its end than at its start.
#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

class HandleCountListener : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override { before_ = Count(); }

  void OnTestEnd(const ::testing::TestInfo&) override {
    DWORD after = Count();
    if (after > before_) ADD_FAILURE() << "the test left " << (after - before_) << " handle(s) open";
  }

 private:
  static DWORD Count() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
  }
  DWORD before_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new HandleCountListener);
  return RUN_ALL_TESTS();
}
