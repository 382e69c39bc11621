// Test main of every native test program: each test starts on a fresh simulated machine and
// fails if it leaves anything open (handles, keys, sockets, ...).
#include <gtest/gtest.h>

#include <string>

#include "diag/diag_log.h"
#include "host/machine.h"

namespace {

class FreshMachineListener : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override {
    host::ResetMachine();
    DiagLog::SetLogFilePath(nullptr);
  }

  // Runs before the result printer's OnTestEnd (listeners end in reverse order), so a leak
  // shows as this test's failure.
  void OnTestEnd(const ::testing::TestInfo&) override {
    std::string leaks;
    for (const std::string& item : host::OpenResources()) leaks += "\n  " + item;
    if (!leaks.empty()) ADD_FAILURE() << "left open on the simulated machine:" << leaks;
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshMachineListener);
  return RUN_ALL_TESTS();
}
