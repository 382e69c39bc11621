// Test main of the engine's Wine run. The trace lines carry the program's own prefix, so that the
// script can find them in Wine's debug output. Without its settings the run fails before any case.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "diag/diag_log.h"
#include "wine_engine/run_settings.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  DiagLog::SetPrefix(L"CORVL");
  std::string problem;
  if (!::testing::GTEST_FLAG(list_tests) && !wine_engine::LoadSettings(&problem)) {
    std::fprintf(stderr, "wine_engine: %s (tests/wine/engine.sh sets up the run)\n", problem.c_str());
    return 2;
  }
  return RUN_ALL_TESTS();
}
