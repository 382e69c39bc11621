// FormatMessageW with the flags and languages the program uses for its error lines.
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "conformance.h"

namespace {

using conformance::kPoison;

// The trace log's error line: system text in a buffer the call allocates, English (US).
constexpr DWORD kAllocated = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
// The socket error text: one line (maximum width 255), user default language, caller's buffer.
constexpr DWORD kOneLine = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr DWORD kEnglishUs = 0x0409;
constexpr DWORD kUserDefault = 0x0400;

struct SystemText {
  DWORD code;
  const wchar_t* text;
  bool inWine = true;  // false: Wine's message table has no text for the code
};

// Windows' English texts of codes the program logs.
const SystemText kTexts[] = {
    {ERROR_FILE_NOT_FOUND, L"The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, L"The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, L"Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, L"The handle is invalid.\r\n"},
    {ERROR_INVALID_PARAMETER, L"The parameter is incorrect.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, L"The data area passed to a system call is too small.\r\n"},
    {ERROR_ALREADY_EXISTS, L"Cannot create a file when that file already exists.\r\n"},
    {ERROR_MORE_DATA, L"More data is available.\r\n"},
    {WAIT_TIMEOUT, L"The wait operation timed out.\r\n", false},
    {ERROR_IO_PENDING, L"Overlapped I/O operation is in progress.\r\n"},
    {ERROR_SERVICE_DOES_NOT_EXIST, L"The specified service does not exist as an installed service.\r\n"},
    {ERROR_SERVICE_NOT_ACTIVE, L"The service has not been started.\r\n"},
    {ERROR_INVALID_PRINTER_NAME, L"The printer name is invalid.\r\n"},
    {ERROR_NOT_FOUND, L"Element not found.\r\n"},
    // Device installation, in the HRESULT form the trace log maps SetupAPI codes to.
    {0x800F020B, L"The device instance does not exist in the hardware tree.\r\n", false},
    // Windows Sockets.
    {10054, L"An existing connection was forcibly closed by the remote host.\r\n"},
    {10060,
     L"A connection attempt failed because the connected party did not properly respond after a period of time, "
     L"or established connection failed because connected host has failed to respond.\r\n",
     false},
    {10061, L"No connection could be made because the target machine actively refused it.\r\n"},
    {10014, L"The system detected an invalid pointer address in attempting to use a pointer argument in a call.\r\n"},
    {10055, L"An operation on a socket could not be performed because the system lacked sufficient buffer space or "
            L"because a queue was full.\r\n",
     false},
    {10093, L"Either the application has not called WSAStartup, or WSAStartup failed.\r\n", false},
    {11001, L"No such host is known.\r\n"},
    {11002, L"This is usually a temporary error during hostname resolution and means that the local server did not "
            L"receive a response from an authoritative server.\r\n"},
    {11004, L"The requested name is valid, but no data of the requested type was found.\r\n"},
};

// The codes to check in this run: under Wine, those its message table has.
std::vector<SystemText> CodesOfThisRun() {
  std::vector<SystemText> codes;
  for (const SystemText& text : kTexts) {
    if (text.inWine || !conformance::RunningOnWine()) {
      codes.push_back(text);
    } else {
      std::printf("Wine differs: no system text for code %lu (0x%lx), not checked\n",
                  static_cast<unsigned long>(text.code), static_cast<unsigned long>(text.code));
    }
  }
  return codes;
}

// The text in an allocated buffer, released again; `length` is what the call returned.
std::wstring Allocated(DWORD code, DWORD language, DWORD* length, DWORD* error) {
  LPWSTR text = reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(kPoison));
  SetLastError(kPoison);
  *length = FormatMessageW(kAllocated, nullptr, code, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  *error = GetLastError();
  if (*length == 0) {
    // A failed call leaves no buffer behind: the pointer is set to null.
    EXPECT_EQ(text, nullptr) << "code " << code;
    return {};
  }
  std::wstring copy = text;
  EXPECT_EQ(LocalFree(text), nullptr) << "code " << code;
  return copy;
}

TEST(SystemMessages, AllocatedTextOfEachLoggedCodeEndsInCrLf) {
  for (const SystemText& expected : CodesOfThisRun()) {
    DWORD length = 0;
    DWORD error = 0;
    std::wstring text = Allocated(expected.code, kEnglishUs, &length, &error);
    ASSERT_NE(length, 0u) << "code " << expected.code << ", error " << error;
    EXPECT_EQ(length, text.size()) << "code " << expected.code;
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), L"\r\n") << "code " << expected.code;
  }
}

TEST(SystemMessages, EnglishTextsAreWindowsOwn) {
  SKIP_WHERE_WINE_DIFFERS("its message table has its own wording (e.g. \"File not found.\")");
  for (const SystemText& expected : kTexts) {
    DWORD length = 0;
    DWORD error = 0;
    EXPECT_EQ(Allocated(expected.code, kEnglishUs, &length, &error), expected.text) << "code " << expected.code;
  }
}

TEST(SystemMessages, CodeWithoutTextFailsWithMessageNotFound) {
  DWORD length = 1;
  DWORD error = 0;
  Allocated(0x1234567, kEnglishUs, &length, &error);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(SystemMessages, CallersBufferNeedsRoomForTheTerminator) {
  DWORD needed = 0;
  DWORD error = 0;
  std::wstring text = Allocated(ERROR_ACCESS_DENIED, kEnglishUs, &needed, &error);
  ASSERT_GT(needed, 0u);
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

  for (DWORD size : {needed + 1, needed + 2}) {
    auto buffer = conformance::PoisonedBuffer(size);
    SetLastError(kPoison);
    EXPECT_EQ(FormatMessageW(flags, nullptr, ERROR_ACCESS_DENIED, kEnglishUs, buffer.data(), size, nullptr), needed)
        << "size " << size;
    EXPECT_EQ(conformance::TextIn(buffer), text);
  }

  auto buffer = conformance::PoisonedBuffer(needed);
  SetLastError(kPoison);
  EXPECT_EQ(FormatMessageW(flags, nullptr, ERROR_ACCESS_DENIED, kEnglishUs, buffer.data(), needed, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(SystemMessages, MaximumWidthTurnsEachLineBreakIntoABlank) {
  // Documented: with FORMAT_MESSAGE_MAX_WIDTH_MASK the function ignores the text's regular line
  // breaks and makes none of its own; Wine's tests show each CR LF becomes one blank ("hi\r\n" ->
  // "hi "), also on Windows.
  for (const SystemText& expected : CodesOfThisRun()) {
    DWORD length = 0;
    DWORD error = 0;
    std::wstring multiLine = Allocated(expected.code, kUserDefault, &length, &error);
    ASSERT_GE(multiLine.size(), 2u) << "code " << expected.code;
    std::wstring oneLine = multiLine.substr(0, multiLine.size() - 2) + L" ";

    auto buffer = conformance::PoisonedBuffer(1024);
    SetLastError(kPoison);
    DWORD written = FormatMessageW(kOneLine, nullptr, expected.code, kUserDefault, buffer.data(), 1024, nullptr);
    EXPECT_EQ(written, oneLine.size()) << "code " << expected.code;
    EXPECT_EQ(conformance::TextIn(buffer), oneLine) << "code " << expected.code;
  }
}

}  // namespace
