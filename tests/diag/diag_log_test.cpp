#include "diag/diag_log.h"

#include <gtest/gtest.h>

#include <string>

#include "host/clock.h"
#include "host/debug_output.h"
#include "host/files.h"
#include "host/machine.h"

namespace {

class DiagLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DiagLog::SetPrefix(L"CORVL");
    host::SetCurrentThreadId(0x1F4);
  }
  static std::vector<std::wstring> Lines() { return host::DebugOutput(); }
};

TEST_F(DiagLogTest, LineCarriesPrefixThreadIdAndText) {
  DiagLog::Write(L"Adding %ls\n", L"X");
  host::SetCurrentThreadId(0xAB0C);
  DiagLog::Write(L"n=%d", 7);
  ASSERT_EQ(Lines().size(), 2u);
  // A text that ends in a line feed gives a line that ends in two.
  EXPECT_EQ(Lines()[0], L"CORVL(1F4): Adding X\n\n");
  // Upper-case hexadecimal, no leading zeros.
  EXPECT_EQ(Lines()[1], L"CORVL(AB0C): n=7\n");
}

TEST_F(DiagLogTest, InnerLineFeedsBecomeBlanksOnlyInTheDebugOutput) {
  std::wstring file = L"C:\\logs\\trace.log";
  host::WriteFile(file, "");
  DiagLog::SetLogFilePath(file.c_str());
  SYSTEMTIME start{};
  start.wYear = 2026;
  start.wMonth = 3;
  start.wDay = 9;
  start.wHour = 7;
  start.wMinute = 5;
  start.wSecond = 4;
  start.wMilliseconds = 3;
  host::clock::SetLocalTime(start);

  DiagLog::Write(L"a\nb");

  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Lines()[0], L"CORVL(1F4): a b\n");
  // The file line keeps its inner line feed and carries the local time; the file is in text
  // mode, so each line feed is written as CR LF.
  EXPECT_EQ(host::ReadFile(file), "[ 3- 9-2026  7:05:04:003]- CORVL(1F4): a\r\nb\r\n");
}

TEST_F(DiagLogTest, LogFileGetsEveryLineAppendedAndNoFileWithoutPath) {
  std::wstring file = L"C:\\trace.log";
  DiagLog::Write(L"before");
  EXPECT_EQ(host::HostPathOf(file).empty(), false);
  EXPECT_EQ(host::ReadFile(file), "");  // no path set: nothing written anywhere

  DiagLog::SetLogFilePath(file.c_str());
  DiagLog::Write(L"one");
  host::clock::Advance(1500);
  DiagLog::Write(L"two");
  EXPECT_EQ(host::ReadFile(file),
            "[ 3- 9-2026 14:05:07:042]- CORVL(1F4): one\r\n"
            "[ 3- 9-2026 14:05:08:542]- CORVL(1F4): two\r\n");
}

TEST_F(DiagLogTest, UnopenableLogFileIsSkippedSilently) {
  DiagLog::SetLogFilePath(L"C:\\missing folder\\trace.log");
  DiagLog::Write(L"still traced");
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Lines()[0], L"CORVL(1F4): still traced\n");
}

TEST_F(DiagLogTest, NullFormatsWriteNothing) {
  DiagLog::Write(nullptr);
  DiagLog::WriteError(5, nullptr);
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(host::CallCount("FormatMessageW"), 0);
}

TEST_F(DiagLogTest, TextIsNotFormattedTwice) {
  DiagLog::Write(L"%ls", L"100%d done");
  EXPECT_EQ(Lines().at(0), L"CORVL(1F4): 100%d done\n");
}

TEST_F(DiagLogTest, OverlongLineIsCutAndStillEndsWithLineFeed) {
  std::wstring text(5000, L'x');
  DiagLog::Write(L"%ls", text.c_str());
  ASSERT_EQ(Lines().size(), 1u);
  const std::wstring line = Lines()[0];
  EXPECT_EQ(line.size(), DiagLog::kLineChars - 1);
  EXPECT_EQ(line.back(), L'\n');
  EXPECT_EQ(line.rfind(L"CORVL(1F4): xxx", 0), 0u);
}

TEST_F(DiagLogTest, PrefixKeepsAtMost79Characters) {
  std::wstring longPrefix(100, L'P');
  DiagLog::SetPrefix(longPrefix.c_str());
  DiagLog::Write(L"t");
  EXPECT_EQ(Lines().at(0), std::wstring(79, L'P') + L"(1F4): t\n");
}

TEST_F(DiagLogTest, ErrorLineForAccessDenied) {
  DiagLog::WriteError(5, L"OpenPrinter(%ls)", L"P1");
  ASSERT_EQ(Lines().size(), 1u);
  // The system text's own CR LF: the line feed becomes a blank, the carriage return stays.
  EXPECT_EQ(Lines()[0], L"CORVL(1F4): ===>>> ERROR (gle=5, 0x5):  Msg: Access is denied.\r   Context: OpenPrinter(P1)\n");
}

TEST_F(DiagLogTest, ErrorLineForDeviceInstallationCodeShowsMappedAndRawCode) {
  // ERROR_NO_SUCH_DEVINST as SetupAPI reports it: 0xE000020B.
  DiagLog::WriteError(0xE000020Bu, L"SetupDiOpenDeviceInfo");
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(DiagLog::MapErrorCode(0xE000020Bu), 0x800F020Bu);
  EXPECT_EQ(Lines()[0],
            L"CORVL(1F4): ===>>> ERROR (gle=-2146500085, 0xe000020b):  Msg: The device instance does not exist in "
            L"the hardware tree.\r   Context: SetupDiOpenDeviceInfo\n");
  EXPECT_TRUE(host::OpenResources().empty());  // the system text was released
}

TEST_F(DiagLogTest, ErrorLineForCodeWithoutSystemText) {
  DiagLog::WriteError(0x1234567, L"ctx %d", 1);
  EXPECT_EQ(Lines().at(0),
            L"CORVL(1F4): ===>>> ERROR (gle=19088743, 0x1234567):  Msg: (no system text for this error code)  "
            L"Context: ctx 1\n");
}

}  // namespace
