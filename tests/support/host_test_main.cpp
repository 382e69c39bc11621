// Test main of every native test program: each test starts on a fresh simulated machine and
// program state, and fails if it leaves anything open (handles, keys, sockets, ...) or a fault
// it asked for unfired.
#include <gtest/gtest.h>

#include "support/cases.h"

namespace {

class FreshMachineListener : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override { testing_support::StartTest(); }

  // Runs before the result printer's OnTestEnd (listeners end in reverse order), so a leak
  // shows as this test's failure.
  void OnTestEnd(const ::testing::TestInfo&) override { testing_support::EndTest(); }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshMachineListener);
  return RUN_ALL_TESTS();
}
