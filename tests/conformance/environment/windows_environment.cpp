// The conformance cases on Windows or under Wine. Wine's ntdll exports wine_get_version; Windows'
// does not.
#include "conformance/conformance.h"

namespace conformance {

bool RunningOnWine() {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

namespace {

DWORD WINAPI RunWork(LPVOID work) {
  (*static_cast<const std::function<void()>*>(work))();
  return 0;
}

}  // namespace

void InstallTestPort() {}

void RunOnOtherThread(const std::function<void()>& work) {
  HANDLE thread = CreateThread(nullptr, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr);
  ASSERT_NE(thread, nullptr) << "CreateThread failed, error " << GetLastError();
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

// Under Wine the state was made before the run, by tests/wine/conformance.d/.
void ProvideMachineState() {}

}  // namespace conformance
