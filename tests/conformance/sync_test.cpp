// Events, named mutexes and waits with time-outs.
#include <string>

#include "conformance.h"

namespace {

using conformance::kPoison;

// Milliseconds between two readings of GetTickCount64, whose steps on Windows are 10 to 16 ms.
constexpr ULONGLONG kTickSlack = 16;

TEST(Sync, AutoResetEventWakesOneWaitThenTimesOut) {
  SetLastError(kPoison);
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);

  SetLastError(kPoison);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(GetLastError(), kPoison);  // a time-out is a result, not an error

  ULONGLONG start = GetTickCount64();
  EXPECT_EQ(WaitForSingleObject(event, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_GE(GetTickCount64() - start + kTickSlack, 100u);

  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // reset by the wait
  EXPECT_TRUE(CloseHandle(event));
}

TEST(Sync, ManualResetEventStaysSignalledUntilReset) {
  HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(CloseHandle(event));
}

TEST(Sync, EventSetByAnotherThreadIsSeenByTheWait) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  conformance::RunOnOtherThread([event] { SetEvent(event); });
  EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(event));
}

TEST(Sync, WaitOnAClosedHandleFails) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  ASSERT_TRUE(CloseHandle(event));
  SetLastError(kPoison);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Sync, CurrentProcessPseudoHandleIsInvalidHandleValue) {
  // GetCurrentProcess() is (HANDLE)-1, the value of INVALID_HANDLE_VALUE. Documented: closing a
  // pseudo-handle has no effect (the call succeeds); the process is not signalled while it runs.
  EXPECT_EQ(GetCurrentProcess(), INVALID_HANDLE_VALUE);
  SetLastError(kPoison);
  EXPECT_TRUE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_TRUE(CloseHandle(GetCurrentThread()));
  EXPECT_EQ(GetLastError(), kPoison);
  EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 10), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(Sync, NamedMutexCreatedTwiceOpensTheFirst) {
  const wchar_t* name = L"ConformanceSingleInstance";
  SetLastError(kPoison);
  HANDLE first = CreateMutexW(nullptr, TRUE, name);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), 0u);  // created: the last error is cleared

  SetLastError(kPoison);
  HANDLE second = CreateMutexW(nullptr, TRUE, name);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(second, first);  // a handle of its own to the same mutex

  // The second call's ownership request is ignored: one release ends the ownership.
  EXPECT_TRUE(ReleaseMutex(second));
  SetLastError(kPoison);
  EXPECT_FALSE(ReleaseMutex(first));
  EXPECT_EQ(GetLastError(), 288u /* ERROR_NOT_OWNER */);

  // Names are case-sensitive.
  SetLastError(kPoison);
  HANDLE other = CreateMutexW(nullptr, FALSE, L"conformancesingleinstance");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(GetLastError(), 0u);

  EXPECT_TRUE(CloseHandle(other));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_TRUE(CloseHandle(first));

  // With its last handle closed the mutex is gone: the name is free again.
  SetLastError(kPoison);
  HANDLE again = CreateMutexW(nullptr, FALSE, name);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_TRUE(CloseHandle(again));
}

TEST(Sync, MutexOwnedByAnotherThreadTimesOut) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
  ASSERT_NE(mutex, nullptr);
  DWORD result = kPoison;
  conformance::RunOnOtherThread([&] { result = WaitForSingleObject(mutex, 50); });
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_TIMEOUT));
  // The owner itself enters again at once (recursive ownership).
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST(Sync, NamedEventAndMutexShareOneNamespace) {
  const wchar_t* name = L"ConformanceSharedName";
  SetLastError(kPoison);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(GetLastError(), 0u);

  SetLastError(kPoison);
  HANDLE sameEvent = CreateEventW(nullptr, TRUE, FALSE, name);
  ASSERT_NE(sameEvent, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(SetEvent(sameEvent));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);  // one event behind both handles

  SetLastError(kPoison);
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, name), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  EXPECT_TRUE(CloseHandle(sameEvent));
  EXPECT_TRUE(CloseHandle(event));
}

TEST(Sync, WaitForMultipleObjectsGivesTheFirstSignalledIndex) {
  HANDLE events[3] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr),
                      CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  for (HANDLE event : events) ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(SetEvent(events[2]));
  EXPECT_TRUE(SetEvent(events[1]));
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);  // the lowest of those signalled
  ASSERT_TRUE(ResetEvent(events[1]));
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 2);

  SetLastError(kPoison);
  EXPECT_EQ(WaitForMultipleObjects(0, events, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  for (HANDLE event : events) EXPECT_TRUE(CloseHandle(event));
  SetLastError(kPoison);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Sync, AnonymousPipeReadsWhatWasWrittenThenReportsItsEnds) {
  HANDLE reader = nullptr, writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  EXPECT_TRUE(SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0));
  DWORD done = kPoison;
  EXPECT_TRUE(WriteFile(writer, "abc", 3, &done, nullptr));
  EXPECT_EQ(done, 3u);
  char buffer[8] = {};
  EXPECT_TRUE(ReadFile(reader, buffer, 2, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "ab");
  SetLastError(kPoison);
  EXPECT_FALSE(ReadFile(writer, buffer, sizeof buffer, &done, nullptr));  // the write end cannot read
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(writer));
  // What was written stays readable after the write end closed; then the pipe is broken.
  EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "c");
  SetLastError(kPoison);
  EXPECT_FALSE(ReadFile(reader, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(CloseHandle(reader));

  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  EXPECT_TRUE(CloseHandle(reader));
  SetLastError(kPoison);
  EXPECT_FALSE(WriteFile(writer, "abc", 3, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DATA));
  EXPECT_TRUE(CloseHandle(writer));
}

}  // namespace
