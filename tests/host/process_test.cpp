// The simulated machine's process creation: what it records, the programs it has, and the
// handles the program must close.
#include <gtest/gtest.h>

#include <string>

#include "host/clock.h"
#include "host/files.h"
#include "host/machine.h"
#include "host/process.h"
#include "platform/win32.h"

namespace {

BOOL Start(const char* program, const char* arguments, PROCESS_INFORMATION* info) {
  std::string commandLine = arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  return CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, info);
}

TEST(HostProcess, StartIsRecordedAndItsHandlesCountUntilClosed) {
  Sleep(1500);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(Start("C:\\Windows\\System32\\RUNDLL32.EXE", "rundll32.exe printui.dll,PrintUIEntry /y /n \"P\"", &info));
  auto launches = host::process::Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].program, "C:\\Windows\\System32\\RUNDLL32.EXE");
  EXPECT_EQ(launches[0].commandLine, "rundll32.exe printui.dll,PrintUIEntry /y /n \"P\"");
  EXPECT_EQ(launches[0].atMs, 1500u);

  EXPECT_EQ(host::OpenResources().size(), 2u);  // the process and its thread
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 100), static_cast<DWORD>(WAIT_TIMEOUT));  // it keeps running
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  EXPECT_TRUE(host::OpenResources().empty());
}

TEST(HostProcess, ProgramFromTheCommandLineIsLookedForInTheSystemDirectory) {
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(Start(nullptr, "rundll32 shell32.dll,Control_RunDLL", &info));
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  EXPECT_EQ(host::process::Launches().at(0).program, "C:\\Windows\\system32\\rundll32.exe");

  host::process::RemoveProgram(L"C:\\Windows\\system32\\rundll32.exe");
  SetLastError(0);
  EXPECT_FALSE(Start(nullptr, "rundll32 shell32.dll,Control_RunDLL", &info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(host::process::Launches().size(), 1u);

  // A program file on a drive exists as well.
  host::WriteFile(L"C:\\Tools\\tool.exe", "MZ");
  ASSERT_TRUE(Start("C:\\Tools\\tool.exe", "tool.exe", &info));
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

TEST(HostProcess, SystemDirectoryCanBeMovedAndCallsCanFail) {
  host::process::SetSystemDirectory(L"D:\\WINNT\\system32");
  wchar_t buffer[MAX_PATH];
  EXPECT_EQ(GetSystemDirectoryW(buffer, MAX_PATH), 17u);
  EXPECT_STREQ(buffer, L"D:\\WINNT\\system32");

  host::FailCall("GetSystemDirectoryW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(GetSystemDirectoryW(buffer, MAX_PATH), 0u);
  host::FailCall("CreateProcessA", ERROR_ACCESS_DENIED);
  PROCESS_INFORMATION info = {};
  EXPECT_FALSE(Start("D:\\WINNT\\system32\\rundll32.exe", "rundll32.exe", &info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(host::process::Launches().empty());
}

}  // namespace
