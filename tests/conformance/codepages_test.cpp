// Conversions between wide text and UTF-8 or Windows-1252: sizes, short buffers, invalid input.
#include <cstring>
#include <string>

#include "conformance.h"

namespace {

using conformance::kPoison;

// "Grüße €" in UTF-8: 7 characters, 11 bytes.
const char kUtf8[] = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC";
const wchar_t kWide[] = L"Gr\u00FC\u00DFe \u20AC";

TEST(CodePages, Utf8ToWideSizeNegotiation) {
  SetLastError(kPoison);
  int needed = MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, nullptr, 0);
  EXPECT_EQ(needed, 8);  // with the terminator, when the length is -1
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, 11, nullptr, 0), 7);  // without, when counted

  for (int size : {needed, needed + 1}) {
    auto buffer = conformance::PoisonedBuffer(static_cast<size_t>(size));
    SetLastError(kPoison);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, buffer.data(), size), needed) << "size " << size;
    EXPECT_EQ(conformance::TextIn(buffer), kWide);
  }
  auto buffer = conformance::PoisonedBuffer(static_cast<size_t>(needed));
  SetLastError(kPoison);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, buffer.data(), needed - 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(buffer[static_cast<size_t>(needed - 1)], conformance::kPoisonChar);  // nothing past the given size
}

TEST(CodePages, WideToUtf8SizeNegotiation) {
  SetLastError(kPoison);
  int needed = WideCharToMultiByte(CP_UTF8, 0, kWide, -1, nullptr, 0, nullptr, nullptr);
  EXPECT_EQ(needed, 12);
  for (int size : {needed, needed + 1}) {
    std::string buffer(static_cast<size_t>(size), '#');
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kWide, -1, &buffer[0], size, nullptr, nullptr), needed);
    EXPECT_STREQ(buffer.c_str(), kUtf8);
  }
  std::string buffer(static_cast<size_t>(needed), '#');
  SetLastError(kPoison);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kWide, -1, &buffer[0], needed - 1, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(buffer[static_cast<size_t>(needed - 1)], '#');
}

TEST(CodePages, InvalidUtf8FailsOnlyWhenAskedTo) {
  // A lone continuation byte, an overlong form, an encoded surrogate, a cut sequence.
  const char* invalid[] = {"a\x80z", "a\xC0\xAFz", "a\xED\xA0\x80z", "a\xE2\x82"};
  for (const char* text : invalid) {
    wchar_t out[16];
    SetLastError(kPoison);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out, 16), 0) << text;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION)) << text;

    // Without the flag the bad bytes become U+FFFD and the good ones stay.
    int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, out, 16);
    ASSERT_GT(length, 0) << text;
    std::wstring converted(out);
    EXPECT_EQ(converted.front(), L'a');
    EXPECT_NE(converted.find(L'\uFFFD'), std::wstring::npos);
  }
}

TEST(CodePages, Utf8ReplacementCountsFollowWindows) {
  // Windows (since Vista) gives one U+FFFD for each byte that does not start a valid sequence,
  // and one for a valid sequence's beginning cut short.
  wchar_t out[16];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\x80z", 3, out, 16), 3);
  EXPECT_EQ(std::wstring(out, 3), L"a\uFFFDz");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xC0\xAFz", 4, out, 16), 4);
  EXPECT_EQ(std::wstring(out, 4), L"a\uFFFD\uFFFDz");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xE2\x82z", 4, out, 16), 3);
  EXPECT_EQ(std::wstring(out, 3), L"a\uFFFDz");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xE0\x20\xC0", 3, out, 16), 3);
  EXPECT_EQ(std::wstring(out, 3), L"\uFFFD \uFFFD");
}

TEST(CodePages, LoneSurrogateBecomesTheReplacementCharacter) {
  // Since Windows Vista an unpaired surrogate is converted to U+FFFD (EF BF BD) rather than dropped.
  const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  char narrow[16] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 3, narrow, sizeof narrow, nullptr, nullptr), 5);
  EXPECT_EQ(std::string(narrow, 5), "a\xEF\xBF\xBD" "b");
}

TEST(CodePages, CharacterOutsideTheBasicPlaneTakesOneOrTwoWideUnits) {
  // U+1F5A8 (printer): a surrogate pair where wchar_t has 16 bits (Windows), one unit where it has
  // 32 (the simulated host, on purpose).
  const char printer[] = "\xF0\x9F\x96\xA8";
  const int units = sizeof(wchar_t) == 2 ? 2 : 1;
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, printer, 4, nullptr, 0), units);
  wchar_t wide[4] = {};
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, printer, 4, wide, 4), units);
  char back[8] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, units, back, sizeof back, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(back, 4), printer);
}

TEST(CodePages, BadArgumentsAndCodePagesAreRefused) {
  wchar_t wide[8];
  SetLastError(kPoison);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(kPoison);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(kPoison);
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "abc", 3, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePages, Utf8TakesNoFlagsAndNoDefaultCharacter) {
  // Documented for WideCharToMultiByte: with CP_UTF8, dwFlags must be 0 or WC_ERR_INVALID_CHARS
  // (else ERROR_INVALID_FLAGS), and lpDefaultChar and lpUsedDefaultChar must be null (else
  // ERROR_INVALID_PARAMETER).
  SKIP_WHERE_WINE_DIFFERS("Wine converts and ignores the flags and the default character");
  char narrow[8];
  BOOL usedDefault = FALSE;
  SetLastError(kPoison);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, L"abc", 3, narrow, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  SetLastError(kPoison);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, narrow, 8, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(kPoison);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, narrow, 8, nullptr, &usedDefault), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePages, Windows1252UpperHalf) {
  wchar_t wide[4] = {};
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "\x80\xE9\x81", 3, wide, 4), 3);
  EXPECT_EQ(std::wstring(wide, 3), L"\u20AC\u00E9\u0081");

  char narrow[4] = {};
  BOOL usedDefault = static_cast<BOOL>(kPoison);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"\u20AC\u0416", 2, narrow, 4, nullptr, &usedDefault), 2);
  EXPECT_EQ(std::string(narrow, 2), "\x80?");  // no Cyrillic in 1252: the default character
  EXPECT_EQ(usedDefault, TRUE);
}

}  // namespace

TEST(CodePages, Windows1252BestFitUnlessTold) {
  // Without WC_NO_BEST_FIT_CHARS a character 1252 lacks may become a look-alike, and that does
  // not count as the default character: "Łódź" reads "Lódz", full-width digits become ASCII.
  struct Case {
    const wchar_t* text;
    DWORD flags;
    const char* bytes;
    BOOL usedDefault;
  };
  const Case cases[] = {
      {L"\u0141\u00F3d\u017A", 0, "L\xF3" "dz", FALSE},
      {L"\u0141\u00F3d\u017A", WC_NO_BEST_FIT_CHARS, "?\xF3" "d?", TRUE},
      {L"\uFF11\uFF19\uFF12\uFF0E\uFF10", 0, "192.0", FALSE},
      {L"\uFF11\uFF19\uFF12\uFF0E\uFF10", WC_NO_BEST_FIT_CHARS, "?????", TRUE},
      {L"\u20AC\u0416", 0, "\x80?", TRUE},  // the euro is exact; Cyrillic has no best fit
      {L"\u20AC\u00E9", WC_NO_BEST_FIT_CHARS, "\x80\xE9", FALSE},
  };
  for (const Case& c : cases) {
    char narrow[16] = {};
    BOOL usedDefault = static_cast<BOOL>(kPoison);
    int length = static_cast<int>(std::wcslen(c.text));
    EXPECT_EQ(WideCharToMultiByte(1252, c.flags, c.text, length, narrow, sizeof narrow, nullptr, &usedDefault), length);
    EXPECT_EQ(std::string(narrow), c.bytes) << c.flags;
    EXPECT_EQ(usedDefault, c.usedDefault) << c.bytes;
  }
}

TEST(CodePages, FlagsEachCodePageTakes) {
  wchar_t wide[8] = {};
  EXPECT_EQ(MultiByteToWideChar(1252, MB_PRECOMPOSED, "ab", 2, wide, 8), 2);
  char narrow[8] = {};
  // An unpaired surrogate fails only when asked to.
  const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b'};
  SetLastError(kPoison);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, narrow, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, L"ab", 2, narrow, 8, nullptr, nullptr), 2);
}

TEST(CodePages, InvalidCharsFlagIsForUtf8Only) {
  // Documented: WC_ERR_INVALID_CHARS applies to CP_UTF8 and 54936 only; with other code pages the
  // call fails with ERROR_INVALID_FLAGS.
  SKIP_WHERE_WINE_DIFFERS("Wine takes WC_ERR_INVALID_CHARS with any code page");
  char narrow[8];
  SetLastError(kPoison);
  EXPECT_EQ(WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, L"ab", 2, narrow, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}
