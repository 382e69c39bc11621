// Module path, full path names, the current and the temporary folder: buffer sizes.
#include <string>

#include "conformance.h"

namespace {

using conformance::kPoison;

std::wstring ModulePath() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH + 1);
  return std::wstring(buffer, length <= MAX_PATH ? length : 0);
}

TEST(Paths, ModuleFileNameIsAbsoluteAndReportsAShortBuffer) {
  std::wstring path = ModulePath();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), L":\\");
  const DWORD length = static_cast<DWORD>(path.size());

  for (DWORD size : {length + 1, length + 2}) {
    auto buffer = conformance::PoisonedBuffer(size);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), size), length) << "size " << size;
    EXPECT_EQ(conformance::TextIn(buffer), path);
  }

  // One character short: the buffer's size returned, with ERROR_INSUFFICIENT_BUFFER.
  auto buffer = conformance::PoisonedBuffer(length + 1);
  SetLastError(kPoison);
  EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), length), length);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(buffer[length], conformance::kPoisonChar);  // nothing written past the given size

  SetLastError(kPoison);
  EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), 0), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Paths, CutModuleFileNameIsTerminatedInsideTheBuffer) {
  // Documented since Windows Vista: a name that does not fit is cut to nSize characters including
  // the terminating null (Windows XP left it unterminated).
  SKIP_WHERE_WINE_DIFFERS("Wine fills all nSize characters and leaves the name unterminated, as Windows XP did");
  std::wstring path = ModulePath();
  ASSERT_GT(path.size(), 3u);
  const DWORD length = static_cast<DWORD>(path.size());
  auto buffer = conformance::PoisonedBuffer(length + 1);
  EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), length), length);
  EXPECT_EQ(buffer[length - 1], L'\0');
  EXPECT_EQ(conformance::TextIn(buffer), path.substr(0, length - 1));
}

TEST(Paths, FullPathNameAsksForItsSizeWithTheTerminator) {
  std::wstring module = ModulePath();
  ASSERT_FALSE(module.empty());
  SetLastError(kPoison);
  const DWORD needed = GetFullPathNameW(module.c_str(), 0, nullptr, nullptr);
  EXPECT_EQ(needed, module.size() + 1);

  for (DWORD size : {needed, needed + 1}) {
    auto buffer = conformance::PoisonedBuffer(size);
    LPWSTR filePart = reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(kPoison));
    EXPECT_EQ(GetFullPathNameW(module.c_str(), size, buffer.data(), &filePart), needed - 1) << "size " << size;
    EXPECT_EQ(conformance::TextIn(buffer), module);
    ASSERT_NE(filePart, nullptr);
    EXPECT_EQ(std::wstring(filePart), module.substr(module.find_last_of(L'\\') + 1));
  }

  // Too small: the size needed again, the buffer's first character untouched or cleared.
  auto buffer = conformance::PoisonedBuffer(needed);
  EXPECT_EQ(GetFullPathNameW(module.c_str(), needed - 1, buffer.data(), nullptr), needed);
  EXPECT_EQ(buffer[needed - 1], conformance::kPoisonChar);
}

TEST(Paths, FullPathNameResolvesDotsAndSlashes) {
  wchar_t current[MAX_PATH];
  DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_GT(length, 0u);
  std::wstring base(current, length);
  if (base.back() != L'\\') base += L'\\';

  wchar_t full[MAX_PATH];
  LPWSTR filePart = nullptr;
  ASSERT_GT(GetFullPathNameW(L"a/./b\\..\\image.bin", MAX_PATH, full, &filePart), 0u);
  EXPECT_EQ(std::wstring(full), base + L"a\\image.bin");
  ASSERT_NE(filePart, nullptr);
  EXPECT_EQ(std::wstring(filePart), L"image.bin");

  // A name that ends in a separator has no file part.
  filePart = reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(kPoison));
  ASSERT_GT(GetFullPathNameW(L"C:\\dir\\sub\\", MAX_PATH, full, &filePart), 0u);
  EXPECT_EQ(std::wstring(full), L"C:\\dir\\sub\\");
  EXPECT_EQ(filePart, nullptr);

  ASSERT_GT(GetFullPathNameW(L"C:\\dir\\..\\..\\x.txt", MAX_PATH, full, nullptr), 0u);
  EXPECT_EQ(std::wstring(full), L"C:\\x.txt");  // ".." stops at the root

  // Documented path normalisation: trailing periods and blanks of the last segment are removed.
  ASSERT_GT(GetFullPathNameW(L"C:\\dir\\image.bin. .", MAX_PATH, full, nullptr), 0u);
  EXPECT_EQ(std::wstring(full), L"C:\\dir\\image.bin");

  // An empty name fails (the last error is left unchecked: Wine leaves it alone).
  EXPECT_EQ(GetFullPathNameW(L"", MAX_PATH, full, nullptr), 0u);
}

TEST(Paths, CurrentAndTemporaryFolderSizes) {
  SetLastError(kPoison);
  DWORD needed = GetCurrentDirectoryW(0, nullptr);
  ASSERT_GT(needed, 1u);
  auto buffer = conformance::PoisonedBuffer(needed + 1);
  EXPECT_EQ(GetCurrentDirectoryW(needed, buffer.data()), needed - 1);
  EXPECT_EQ(GetCurrentDirectoryW(needed - 1, buffer.data()), needed);

  needed = GetTempPathW(0, nullptr);
  ASSERT_GT(needed, 1u);
  buffer = conformance::PoisonedBuffer(needed + 1);
  EXPECT_EQ(GetTempPathW(needed, buffer.data()), needed - 1);
  std::wstring temp(buffer.data());
  EXPECT_EQ(temp.back(), L'\\');  // documented: the path ends with a backslash
  EXPECT_EQ(GetFileAttributesW(temp.c_str()) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetTempPathW(needed - 1, buffer.data()), needed);
}

}  // namespace
