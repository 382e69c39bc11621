// The conformance cases on the simulated host: never Wine. Leaks are checked by the common test
// main, which counts what the host holds open.
#include "conformance/conformance.h"

#include <thread>

#include "host/ports.h"

namespace conformance {

bool RunningOnWine() { return false; }

void RunOnOtherThread(const std::function<void()>& work) { std::thread(work).join(); }

void InstallTestPort() { host::ports::AddPort(host::ports::Port{kTestPort, L"Local Port", L"Local Port"}); }

}  // namespace conformance
