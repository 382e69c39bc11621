// The system directory and process creation: buffer sizes, a missing program, and the handles
// of a started one.
#include <string>
#include <vector>

#include "conformance.h"

namespace {

using conformance::kPoison;

std::wstring SystemDirectory() {
  wchar_t buffer[MAX_PATH + 1];
  UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  return std::wstring(buffer, length <= MAX_PATH ? length : 0);
}

TEST(Process, SystemDirectoryAsksForItsSizeWithTheTerminator) {
  // The documented sizes (as Wine's kernel32 implements them): the length without the
  // terminator when it fits, else the size needed with it and the buffer untouched.
  std::wstring path = SystemDirectory();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), L":\\");
  EXPECT_NE(path.back(), L'\\');
  const UINT length = static_cast<UINT>(path.size());

  EXPECT_EQ(GetSystemDirectoryW(nullptr, 0), length + 1);
  for (UINT size : {length + 1, length + 2}) {
    auto buffer = conformance::PoisonedBuffer(size);
    EXPECT_EQ(GetSystemDirectoryW(buffer.data(), size), length) << "size " << size;
    EXPECT_EQ(conformance::TextIn(buffer), path);
  }
  auto buffer = conformance::PoisonedBuffer(length + 1);
  EXPECT_EQ(GetSystemDirectoryW(buffer.data(), length), length + 1);
  EXPECT_EQ(buffer[0], conformance::kPoisonChar);

  // The ANSI form counts bytes; an ASCII path has as many bytes as characters.
  std::vector<char> ansi(length + 1, '#');
  EXPECT_EQ(GetSystemDirectoryA(ansi.data(), length + 1), length);
  EXPECT_EQ(std::string(ansi.data()), std::string(path.begin(), path.end()));
  EXPECT_EQ(GetSystemDirectoryA(ansi.data(), length), length + 1);
}

TEST(Process, MissingProgramIsNotStarted) {
  std::string program = "C:\\no such folder\\nothing.exe";
  char commandLine[] = "nothing.exe /x";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  info.hProcess = info.hThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(kPoison));
  SetLastError(kPoison);
  EXPECT_FALSE(CreateProcessA(program.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info));
  EXPECT_TRUE(GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_FILE_NOT_FOUND) << GetLastError();
}

TEST(Process, StartedProgramGivesProcessAndThreadHandles) {
  // rundll32 without arguments ends at once by itself; the caller only closes its handles.
  std::wstring directory = SystemDirectory();
  std::string program = std::string(directory.begin(), directory.end()) + "\\rundll32.exe";
  char commandLine[] = "rundll32.exe";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessA(program.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info))
      << GetLastError();
  EXPECT_NE(info.hProcess, nullptr);
  EXPECT_NE(info.hThread, nullptr);
  EXPECT_NE(info.hProcess, info.hThread);
  EXPECT_NE(info.dwProcessId, 0u);
  EXPECT_NE(info.dwThreadId, 0u);
  EXPECT_TRUE(CloseHandle(info.hThread));
  EXPECT_TRUE(CloseHandle(info.hProcess));
}

}  // namespace
