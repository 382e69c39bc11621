// The conformance cases on the simulated host: never Wine. Leaks are checked by the common test
// main, which counts what the host holds open.
#include "conformance/conformance.h"

#include <thread>

namespace conformance {

bool RunningOnWine() { return false; }

void RunOnOtherThread(const std::function<void()>& work) { std::thread(work).join(); }

}  // namespace conformance
