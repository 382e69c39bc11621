// The registry as the program reads it: a key below HKEY_LOCAL_MACHINE opened for reading, string
// and number values read into a buffer of a fixed size, and the failures of a missing key or value.
#include <cstring>
#include <string>
#include <vector>

#include "conformance.h"

namespace {

namespace machine = conformance::machine;

// A key handle value that no open call returns, to tell a written handle from an untouched one.
HKEY PoisonKey() { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(conformance::kPoison)); }

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    conformance::ProvideMachineState();
    key_ = PoisonKey();
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, machine::kKeyPath, 0, KEY_READ, &key_), ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_ != PoisonKey()) {
      EXPECT_EQ(RegCloseKey(key_), ERROR_SUCCESS);
    }
  }

  // Bytes of a REG_SZ value: the text and its terminator.
  static DWORD StringBytes(size_t chars) { return static_cast<DWORD>((chars + 1) * sizeof(WCHAR)); }

  HKEY key_ = nullptr;
};

TEST_F(Registry, MissingKeyFailsAndClearsTheHandle) {
  const std::wstring base = machine::kKeyPath;
  // Windows, as Wine's registry tests record it: a failed open sets the result to null. A missing key
  // anywhere on the path is ERROR_FILE_NOT_FOUND, never ERROR_PATH_NOT_FOUND.
  for (const std::wstring& path : {base + L"\\NoSuchKey", base + L"\\NoSuchKey\\Deeper", std::wstring(L"NoSuchRoot")}) {
    HKEY key = PoisonKey();
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
  }
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, machine::kKeyPath, 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x4321));
  HKEY key = PoisonKey();
  EXPECT_EQ(RegOpenKeyExW(bogus, L"SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, KeyAndValueNamesMatchWithoutRegardToCase) {
  HKEY key = PoisonKey();
  // A trailing backslash names the same key.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"software\\CORVEL\\conformance\\", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = conformance::kPoison;
  DWORD size = conformance::kPoison;
  EXPECT_EQ(RegQueryValueExW(key, L"ipaddress", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, StringBytes(std::wcslen(machine::kAddressText)));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, StringValueSizeIsNegotiated) {
  const DWORD needed = StringBytes(std::wcslen(machine::kAddressText));
  std::vector<BYTE> buffer(needed + 16, 0xAB);

  // Without a buffer: the size, and success.
  DWORD type = conformance::kPoison;
  DWORD size = conformance::kPoison;
  EXPECT_EQ(RegQueryValueExW(key_, machine::kAddressName, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, needed);

  // One byte short, or no room at all: ERROR_MORE_DATA with the size needed (the buffer's
  // content is undefined then, so it is not checked).
  for (DWORD room : {needed - 1, DWORD{0}}) {
    type = conformance::kPoison;
    size = room;
    EXPECT_EQ(RegQueryValueExW(key_, machine::kAddressName, nullptr, &type, buffer.data(), &size), ERROR_MORE_DATA)
        << "room " << room;
    EXPECT_EQ(size, needed) << "room " << room;
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << "room " << room;
  }

  // Exactly the size, and one byte more: the text with its terminator, and its size.
  for (DWORD room : {needed, needed + 1}) {
    std::fill(buffer.begin(), buffer.end(), 0xAB);
    size = room;
    EXPECT_EQ(RegQueryValueExW(key_, machine::kAddressName, nullptr, nullptr, buffer.data(), &size), ERROR_SUCCESS)
        << "room " << room;
    EXPECT_EQ(size, needed) << "room " << room;
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(buffer.data())), machine::kAddressText);
    EXPECT_EQ(buffer[needed], 0xAB) << "written past the value, room " << room;
  }
}

TEST_F(Registry, LongValueDoesNotFitAFixedBuffer) {
  // The program reads addresses into 256 bytes; a longer value is refused, not cut.
  BYTE buffer[256];
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key_, machine::kLongName, nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, StringBytes(machine::kLongLength));
}

TEST_F(Registry, NumberValue) {
  DWORD value = conformance::kPoison;
  DWORD type = conformance::kPoison;
  DWORD size = sizeof value + 4;
  EXPECT_EQ(RegQueryValueExW(key_, machine::kPortName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, sizeof value);
  EXPECT_EQ(value, machine::kPortNumber);
}

TEST_F(Registry, MissingValue) {
  // Windows, as Wine's registry tests record it: asked for the size only, a missing value reports a
  // size of 0; asked for data, the size is left alone. (The type is undefined.)
  DWORD size = conformance::kPoison;
  EXPECT_EQ(RegQueryValueExW(key_, L"NoSuchValue", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);
  BYTE buffer[64];
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key_, L"NoSuchValue", nullptr, nullptr, buffer, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, sizeof buffer);
}

TEST_F(Registry, QueryArgumentsAreChecked) {
  BYTE buffer[64];
  // Data without its size, or anything in the reserved argument, is refused.
  EXPECT_EQ(RegQueryValueExW(key_, machine::kAddressName, nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key_, machine::kAddressName, &reserved, nullptr, buffer, &size), ERROR_INVALID_PARAMETER);
  // Asking for nothing tells whether the value exists.
  EXPECT_EQ(RegQueryValueExW(key_, machine::kAddressName, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
}

TEST_F(Registry, ClosedKeyIsNoKey) {
  ASSERT_EQ(RegCloseKey(key_), ERROR_SUCCESS);
  HKEY closed = key_;
  key_ = PoisonKey();
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  BYTE buffer[64];
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(closed, machine::kAddressName, nullptr, nullptr, buffer, &size), ERROR_INVALID_HANDLE);
  // A predefined root is not closed by closing it.
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

}  // namespace
