// Process creation and the system directory. Nothing is ever run: a created process is
// recorded, and its process and thread objects stay unsignalled, as a program that keeps running.
#include "host/process.h"

#include <filesystem>
#include <mutex>
#include <thread>

#include "host/clock.h"
#include "host/files.h"
#include "host/kernel_objects.h"
#include "host/machine.h"
#include "internal.h"
#include "winhost/kernel.h"
#include "winhost/process.h"

namespace host {
namespace process {
namespace {

constexpr wchar_t kDefaultSystemDirectory[] = L"C:\\Windows\\system32";

struct ProcessState {
  std::mutex lock;
  std::wstring systemDirectory;
  std::vector<std::wstring> programs;
  std::vector<Launch> launches;
  DWORD nextId = 0x7D0;
};

ProcessState& State() {
  static ProcessState* state = new ProcessState;
  return *state;
}

void ResetProcesses() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().systemDirectory = kDefaultSystemDirectory;
  State().programs = {std::wstring(kDefaultSystemDirectory) + L"\\rundll32.exe"};
  State().launches.clear();
  State().nextId = 0x7D0;
}

// Process and thread handles are kernel handles: the kernel objects area lists them when open.
const bool g_registered = [] {
  RegisterArea(Area{"processes", ResetProcesses, nullptr});
  return true;
}();

// A started program: never signalled, since it never ends here.
class Running : public KernelObject {
 public:
  Running(std::string description, bool process) : description_(std::move(description)), process_(process) {}
  std::string Describe() const override { return description_; }
  bool Waitable() const override { return true; }
  bool IsProcess() const { return process_; }

 private:
  std::string description_;
  bool process_;
};

std::wstring WideOfAnsi(const char* text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

std::string AnsiOfWide(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string ansi(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &ansi[0], length, nullptr, nullptr);
  ansi.resize(static_cast<size_t>(length - 1));
  return ansi;
}

// The program a command line starts: its first token, quoted or up to the first blank; a bare
// name is taken from the system directory, and a name without extension gets ".exe".
std::wstring ProgramOfCommandLine(const std::wstring& commandLine, const std::wstring& systemDirectory) {
  std::wstring token;
  if (!commandLine.empty() && commandLine[0] == L'"') {
    size_t close = commandLine.find(L'"', 1);
    token = commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
  } else {
    token = commandLine.substr(0, commandLine.find_first_of(L" \t"));
  }
  if (token.empty()) return token;
  size_t lastSeparator = token.find_last_of(L"\\/");
  if (token.find(L'.', lastSeparator == std::wstring::npos ? 0 : lastSeparator) == std::wstring::npos) token += L".exe";
  if (lastSeparator == std::wstring::npos) token = systemDirectory + L"\\" + token;
  return token;
}

std::wstring SystemDirectory() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().systemDirectory;
}

bool ProgramExists(const std::wstring& path) {
  {
    std::lock_guard<std::mutex> guard(State().lock);
    for (const std::wstring& program : State().programs) {
      if (NamesEqual(program, path)) return true;
    }
  }
  std::string hostPath = HostPathOf(path);
  std::error_code ec;
  return !hostPath.empty() && std::filesystem::is_regular_file(hostPath, ec);
}

}  // namespace

std::vector<Launch> Launches() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().launches;
}

void SetSystemDirectory(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().systemDirectory = path;
}

void AddProgram(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().programs.push_back(path);
}

void RemoveProgram(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(State().lock);
  auto& programs = State().programs;
  for (auto it = programs.begin(); it != programs.end();) {
    it = NamesEqual(*it, path) ? programs.erase(it) : it + 1;
  }
}

DWORD RunAsProcess(const std::function<void()>& program) {
  DWORD processId;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    processId = State().nextId;
    State().nextId += 8;
  }
  std::thread([&] {
    SetCurrentProcessId(processId);
    program();
    EndThreadState();
    CloseHandlesOfProcess(processId);
  }).join();
  return processId;
}

}  // namespace process
}  // namespace host

namespace {

// Copies `text` (of `length` units) with its terminator when `size` holds it: the length then,
// otherwise the size needed, leaving the buffer untouched.
template <typename Char>
UINT CopyDirectory(const Char* text, size_t length, Char* buffer, UINT size) {
  if (!buffer || size < length + 1) return static_cast<UINT>(length + 1);
  std::copy(text, text + length + 1, buffer);
  return static_cast<UINT>(length);
}

}  // namespace

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  HOST_ENTER("GetSystemDirectoryW", 0);
  std::wstring path = host::process::SystemDirectory();
  return CopyDirectory(path.c_str(), path.size(), buffer, size);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
  HOST_ENTER("GetSystemDirectoryA", 0);
  std::string path = host::process::AnsiOfWide(host::process::SystemDirectory());
  return CopyDirectory(path.c_str(), path.size(), buffer, size);
}

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                           BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation) {
  HOST_ENTER("CreateProcessA", FALSE);
  if ((!applicationName && !commandLine) || !startupInfo || !processInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::wstring program = applicationName
                             ? host::process::WideOfAnsi(applicationName)
                             : host::process::ProgramOfCommandLine(host::process::WideOfAnsi(commandLine),
                                                                   host::process::SystemDirectory());
  if (program.empty() || !host::process::ProgramExists(program)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }

  host::process::Launch launch;
  launch.program = applicationName ? applicationName : host::process::AnsiOfWide(program);
  launch.commandLine = commandLine ? commandLine : applicationName;
  launch.atMs = host::clock::Now();
  DWORD processId;
  {
    std::lock_guard<std::mutex> guard(host::process::State().lock);
    host::process::State().launches.push_back(launch);
    processId = host::process::State().nextId;
    host::process::State().nextId += 8;
  }
  std::string name = host::Utf8Of(program);
  processInformation->hProcess = host::NewHandle(std::make_shared<host::process::Running>("process " + name, true));
  processInformation->hThread = host::NewHandle(std::make_shared<host::process::Running>("thread of " + name, false));
  processInformation->dwProcessId = processId;
  processInformation->dwThreadId = processId + 4;
  SetLastError(0);
  return TRUE;
}

BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                           BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW startupInfo,
                           LPPROCESS_INFORMATION processInformation) {
  HOST_ENTER("CreateProcessW", FALSE);
  if ((!applicationName && !commandLine) || !startupInfo || !processInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  HOST_ENTER("GetExitCodeProcess", FALSE);
  auto running = host::ObjectAs<host::process::Running>(process);
  bool current = process == GetCurrentProcess();
  if ((!running || !running->IsProcess()) && !current) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = STILL_ACTIVE;
  return TRUE;
}
