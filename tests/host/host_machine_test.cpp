// The simulated machine's own controls: virtual time, fault injection, accounting, files.
#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <regex>
#include <stdexcept>
#include <thread>

#include "host/clock.h"
#include "host/files.h"
#include "host/kernel_objects.h"
#include "host/machine.h"
#include "host/registry.h"
#include "host/spooler.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"
#include "support/cases.h"

namespace {

TEST(HostClock, WaitsAdvanceVirtualTimeAndAreRecorded) {
  host::clock::SetCompression(0);  // no real waiting at all
  DWORD start = GetTickCount();
  Sleep(1000);
  Sleep(120000);
  platform::UniqueKernelHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  EXPECT_EQ(WaitForSingleObject(event.get(), 10000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(GetTickCount() - start, 131000u);
  EXPECT_EQ(host::clock::WaitsOf("Sleep"), (std::vector<DWORD>{1000, 120000}));
  EXPECT_EQ(host::clock::WaitsOf("WaitForSingleObject"), (std::vector<DWORD>{10000}));
}

TEST(HostClock, SignalledWaitTakesNoVirtualTime) {
  platform::UniqueKernelHandle event(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  DWORD start = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(event.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(GetTickCount(), start);
  // Auto-reset: the wait took the signal.
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(HostClock, EventSetByAnotherThreadEndsTheWait) {
  host::clock::SetCompression(1);  // real time: the wait must end by the signal, not the time-out
  platform::UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE raw = event.get();
  std::thread setter([raw] { SetEvent(raw); });
  EXPECT_EQ(WaitForSingleObject(raw, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  setter.join();
}

TEST(HostFaults, CallFailsAfterSkipForTheGivenTimes) {
  host::FailCall("CreateEventW", ERROR_ACCESS_DENIED, 2, 1);
  HANDLE first = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_NE(first, nullptr);
  SetLastError(0xDEAD);
  EXPECT_EQ(CreateEventW(nullptr, FALSE, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(CreateEventW(nullptr, FALSE, FALSE, nullptr), nullptr);
  HANDLE fourth = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_NE(fourth, nullptr);
  EXPECT_EQ(host::CallCount("CreateEventW"), 4);
  CloseHandle(first);
  CloseHandle(fourth);
}

TEST(HostFaults, UnknownNamesAreRefusedAndUnfiredFaultsListed) {
  EXPECT_THROW(host::FailCall("CreateEvent", ERROR_ACCESS_DENIED), std::invalid_argument);
  EXPECT_THROW(host::CallCount("CreateEvent"), std::invalid_argument);
  EXPECT_TRUE(host::UnfiredFaults().empty());

  // One fault past the last call, one that fires, one cleared before any call, one excused.
  host::FailCall("CreateEventW", ERROR_ACCESS_DENIED, 1, 1);
  host::FailCall("OpenPrinterW", ERROR_INVALID_PRINTER_NAME);
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(L"Nobody"), nullptr, nullptr));
  platform::UniqueKernelHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  EXPECT_EQ(host::UnfiredFaults(), (std::vector<std::string>{"CreateEventW, error 5 after 1 calls, 1 time"}));
  host::FailCallAlways("ReadFile", ERROR_READ_FAULT);
  host::ClearFaults();
  host::FailCall("WriteFile", ERROR_WRITE_FAULT, 2);
  host::FaultMayNotFire("WriteFile");
  EXPECT_EQ(host::UnfiredFaults(), (std::vector<std::string>{"CreateEventW, error 5 after 1 calls, 1 time",
                                                             "ReadFile, error 30 after 0 calls, always"}));
  host::ResetMachine();
  EXPECT_TRUE(host::UnfiredFaults().empty());
}

TEST(HostClock, AnObjectWaitHoldsOnForItsRealFloor) {
  host::clock::SetMinimumObjectWait(std::chrono::milliseconds(300));
  platform::UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE raw = event.get();
  // 100 ms of host time is a tenth of a real millisecond; the signal comes 50 ms later.
  std::thread setter([raw] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SetEvent(raw);
  });
  EXPECT_EQ(WaitForSingleObject(raw, 100), static_cast<DWORD>(WAIT_OBJECT_0));
  setter.join();
  EXPECT_EQ(host::clock::Now(), 0u);
  // A wait that times out took the floor in real time and the whole time-out in host time.
  ResetEvent(raw);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(raw, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(host::clock::Now(), 100u);
}

TEST(TestCases, NextCaseNamesTheCaseThatLeftSomethingOpenOrAFaultUnfired) {
  testing_support::NextCase("leaves an event");
  CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_NONFATAL_FAILURE(testing_support::NextCase("asks for a fault"),
                          "case \"leaves an event\" left open on the simulated machine:");
  host::FailCall("CreateEventW", ERROR_ACCESS_DENIED);
  EXPECT_NONFATAL_FAILURE(testing_support::NextCase("keeps an event on purpose"),
                          "case \"asks for a fault\" asked for faults that never fired:\n  CreateEventW, error 5 after 0 calls, 1 time");
  CreateEventW(nullptr, FALSE, FALSE, nullptr);
  testing_support::LeavesOpen("event");
  testing_support::NextCase("last");
}

TEST(HostClock, AFrozenClockEndsNoWaitByTime) {
  host::clock::Freeze();
  platform::UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE raw = event.get();
  DWORD result = 0;
  std::thread waiter([&] { result = WaitForSingleObject(raw, 1000); });
  std::thread sleeper([] { Sleep(1000); });
  // A wait that could end by time alone takes 1 ms of real time; these still wait.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  host::clock::Advance(5000);
  EXPECT_EQ(host::clock::Now(), 0u);
  host::clock::Step(300);
  EXPECT_EQ(host::clock::Now(), 300u);
  SetEvent(raw);
  waiter.join();
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_OBJECT_0));
  host::clock::Thaw();
  sleeper.join();
  EXPECT_EQ(host::clock::Now(), 1300u);
}

TEST(HostAccounting, OpenHandlesAreListedUntilClosed) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  host::WriteFile(L"C:\\data\\a.bin", "abc");
  HANDLE file = CreateFileW(L"C:\\data\\a.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  LPWSTR text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0,
                 reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  auto open = host::OpenResources();
  ASSERT_EQ(open.size(), 3u);
  EXPECT_NE(open[0].find("event"), std::string::npos);
  EXPECT_NE(open[1].find("file C:\\data\\a.bin"), std::string::npos);
  EXPECT_NE(open[2].find("local memory"), std::string::npos);
  CloseHandle(event);
  CloseHandle(file);
  LocalFree(text);
  EXPECT_TRUE(host::OpenResources().empty());
  EXPECT_FALSE(CloseHandle(file));  // a handle closes once
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Every area's handles are listed the same way, "<kind> 0x<value> <what it names>", until they
// close; a closed handle is refused by the area's close function.
TEST(HostAccounting, EachAreaListsItsHandlesInOneForm) {
  host::spooler::AddPrinter({L"Office", L"USB001", L"Vexline", L""});
  host::registry::CreateKey(L"SOFTWARE\\Corvel");
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"Office"), &printer, nullptr));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"software\\corvel", 0, KEY_READ, &key), ERROR_SUCCESS);
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, L"spooler", SERVICE_QUERY_STATUS);
  ASSERT_NE(service, nullptr);

  const std::vector<std::string> expected = {
      R"(kernel objects: handle 0x[0-9a-f]+ event)",
      R"(spooler: printer handle 0x[0-9a-f]+ printer "Office")",
      R"(registry: key 0x[0-9a-f]+ HKLM\\SOFTWARE\\CORVEL)",
      R"(services: service control manager handle 0x[0-9a-f]+)",
      R"(services: service handle 0x[0-9a-f]+ \("Spooler"\))",
      R"(device installation: device information set 0x[0-9a-f]+ \(0 devices\))",
  };
  std::vector<std::string> open = host::OpenResources();
  ASSERT_EQ(open.size(), expected.size());
  for (const std::string& pattern : expected) {  // the areas list in the order they registered
    std::regex form(pattern);
    auto matches = [&form](const std::string& line) { return std::regex_match(line, form); };
    EXPECT_EQ(std::count_if(open.begin(), open.end(), matches), 1) << pattern;
  }

  const std::vector<std::pair<const char*, std::function<bool()>>> closers = {
      {"CloseHandle", [&] { return CloseHandle(event) != FALSE; }},
      {"ClosePrinter", [&] { return ClosePrinter(printer) != FALSE; }},
      {"RegCloseKey", [&] { return RegCloseKey(key) == ERROR_SUCCESS; }},
      {"CloseServiceHandle", [&] { return CloseServiceHandle(service) != FALSE; }},
      {"CloseServiceHandle", [&] { return CloseServiceHandle(manager) != FALSE; }},
      {"SetupDiDestroyDeviceInfoList", [&] { return SetupDiDestroyDeviceInfoList(set) != FALSE; }},
  };
  for (const auto& [name, close] : closers) EXPECT_TRUE(close()) << name;
  EXPECT_TRUE(host::OpenResources().empty());
  for (const auto& [name, close] : closers) EXPECT_FALSE(close()) << name << " closed a handle twice";
}

TEST(HostFiles, NamesMatchWithoutRegardToCase) {
  host::WriteFile(L"C:\\Program Files\\Corvel\\TVQ5530n.bin", "image");
  platform::UniqueFile file(
      CreateFileW(L"c:\\PROGRAM FILES\\corvel\\tvq5530N.BIN", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file.valid());
  char buffer[8] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "image");
}

TEST(HostFiles, TextModeStreamWritesCarriageReturns) {
  FILE* out = _wfopen(L"C:\\log.txt", L"a");
  ASSERT_NE(out, nullptr);
  std::fputs("one\ntwo\n", out);
  std::fclose(out);
  EXPECT_EQ(host::ReadFile(L"C:\\log.txt"), "one\r\ntwo\r\n");
  FILE* in = _wfopen(L"C:\\LOG.TXT", L"r");
  ASSERT_NE(in, nullptr);
  char line[16] = {};
  ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
  EXPECT_STREQ(line, "one\n");
  std::fclose(in);
  EXPECT_EQ(_wfopen(L"C:\\no such folder\\x.txt", L"a"), nullptr);
}

class NullDevice : public host::KernelObject {
 public:
  std::string Describe() const override { return "null device"; }
  BOOL Write(const void*, DWORD count, DWORD* done, OVERLAPPED* overlapped) override {
    if (done) *done = count;
    host::CompleteOverlapped(overlapped, 0, count);
    return TRUE;
  }
};

TEST(HostFiles, DevicePathsGoToRegisteredOpeners) {
  SetLastError(0);
  EXPECT_EQ(CreateFileW(L"\\\\.\\NUL0", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  host::RegisterDeviceOpener([](const std::wstring& path, DWORD, DWORD, DWORD, DWORD) {
    host::DeviceOpen open;
    if (path == L"\\\\.\\NUL0") {
      open.handled = true;
      open.object = std::make_shared<NullDevice>();
    }
    return open;
  });
  platform::UniqueFile device(CreateFileW(L"\\\\.\\NUL0", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(device.valid());
  platform::UniqueKernelHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  OVERLAPPED overlapped{};
  overlapped.hEvent = event.get();
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(device.get(), "abcd", 4, nullptr, &overlapped));
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(GetOverlappedResult(device.get(), &overlapped, &written, FALSE));
  EXPECT_EQ(written, 4u);
}

TEST(HostThreads, EachThreadHasItsOwnIdentifierAndLastError) {
  SetLastError(5);
  DWORD mine = GetCurrentThreadId();
  DWORD other = 0;
  DWORD otherError = 1;
  std::thread([&] {
    other = GetCurrentThreadId();
    otherError = GetLastError();
  }).join();
  EXPECT_NE(mine, other);
  EXPECT_EQ(otherError, 0u);
  EXPECT_EQ(GetLastError(), 5u);
  host::SetCurrentThreadId(0x1F4);
  EXPECT_EQ(GetCurrentThreadId(), 0x1F4u);
}

}  // namespace
