#include "host/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "host/machine.h"
#include "internal.h"
#include "winhost/kernel.h"

namespace host {
namespace {

struct DebugState {
  std::mutex lock;
  std::vector<std::wstring> lines;
  bool echo = std::getenv("HOST_ECHO_DEBUG_OUTPUT") != nullptr;
};

DebugState& State() {
  static DebugState* state = new DebugState;
  return *state;
}

const bool g_registered = [] {
  RegisterArea(Area{"debug output", ClearDebugOutput, nullptr});
  return true;
}();

}  // namespace

std::vector<std::wstring> DebugOutput() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().lines;
}

void ClearDebugOutput() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().lines.clear();
}

}  // namespace host

void WINAPI OutputDebugStringW(LPCWSTR text) {
  std::wstring line = text ? text : L"";
  std::lock_guard<std::mutex> guard(host::State().lock);
  if (host::State().echo) std::fprintf(stderr, "[debug] %s", host::Utf8Of(line).c_str());
  host::State().lines.push_back(std::move(line));
}
