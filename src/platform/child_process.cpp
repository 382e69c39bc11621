#include "platform/child_process.h"

namespace platform {

std::wstring ProgramPath() {
  std::vector<wchar_t> path(32768);
  DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return {};
  return std::wstring(path.data(), length);
}

namespace {

// Large enough for a child's whole output, so that a child never waits for its parent to read.
constexpr DWORD kPipeBytes = 1 << 16;

}  // namespace

bool ChildProcess::Start(const std::wstring& commandLine) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, kPipeBytes)) return false;
  UniqueKernelHandle reader(readEnd), writer(writeEnd);
  // The child inherits only the write end.
  if (!::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) return false;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  std::wstring mutableLine = commandLine;  // CreateProcessW may write into it
  if (!::CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  process_.reset(info.hProcess);
  output_ = std::move(reader);
  return true;  // the parent's write end closes here, so the pipe ends with the child
}

bool ChildProcess::Finish(std::string& output, DWORD& exitCode) {
  output.clear();
  char buffer[4096];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(output_.get(), buffer, sizeof buffer, &got, nullptr)) {
      if (::GetLastError() != ERROR_BROKEN_PIPE) return false;  // a broken pipe: the child closed it
      break;
    }
    if (got == 0) break;
    output.append(buffer, got);
  }
  ::WaitForSingleObject(process_.get(), INFINITE);
  return ::GetExitCodeProcess(process_.get(), &exitCode) != FALSE;
}

int WaitForAnyProcess(const std::vector<HANDLE>& processes) {
  DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), FALSE, INFINITE);
  if (result >= WAIT_OBJECT_0 + processes.size()) return -1;
  return static_cast<int>(result - WAIT_OBJECT_0);
}

}  // namespace platform
