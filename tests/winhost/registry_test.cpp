// The simulated registry against documented Windows behaviour: RegQueryValueExW sizes in bytes,
// ERROR_MORE_DATA for a value that does not fit, keys that match without regard to case.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/machine.h"
#include "host/registry.h"
#include "platform/win32.h"

namespace {

const wchar_t kKey[] = L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_2\\S1";

TEST(RegistryTest, QueryValueReportsSizesInBytes) {
  host::registry::SetString(kKey, L"ParentIdPrefix", L"7&abc&0");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"system\\currentcontrolset\\ENUM\\usb\\vid_1&pid_2\\s1", 0, KEY_READ,
                          &key),
            ERROR_SUCCESS);
  const DWORD bytes = 8 * sizeof(WCHAR);  // seven characters and the terminator

  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"parentidprefix", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, bytes);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  wchar_t text[16];
  std::wmemset(text, L'#', 16);
  size = bytes - 1;
  EXPECT_EQ(RegQueryValueExW(key, L"ParentIdPrefix", nullptr, &type, reinterpret_cast<LPBYTE>(text), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, bytes);
  EXPECT_EQ(text[0], L'#');  // a value that does not fit is not written at all

  size = bytes;
  EXPECT_EQ(RegQueryValueExW(key, L"ParentIdPrefix", nullptr, &type, reinterpret_cast<LPBYTE>(text), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, L"7&abc&0");
  EXPECT_EQ(text[8], L'#');

  EXPECT_EQ(RegQueryValueExW(key, L"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key, L"ParentIdPrefix", nullptr, &type, reinterpret_cast<LPBYTE>(text), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST(RegistryTest, KeysOpenRelativeToOpenKeysAndAreAccounted) {
  host::registry::SetDword(kKey + std::wstring(L"\\Device Parameters"), L"Flags", 0x400);
  HKEY parent = nullptr;
  HKEY child = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Nowhere", 0, KEY_READ, &child), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet", 0, KEY_READ, &parent), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(parent, L"Enum\\USB\\VID_1&PID_2\\S1\\Device Parameters", 0, KEY_READ, &child),
            ERROR_SUCCESS);
  EXPECT_EQ(host::OpenResources().size(), 2u);

  DWORD value = 0;
  DWORD size = sizeof value;
  EXPECT_EQ(RegQueryValueExW(child, L"Flags", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 0x400u);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
  // Other roots hold nothing here.
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"SYSTEM", 0, KEY_READ, &child), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryTest, InjectedFaultIsTheReturnedStatus) {
  host::registry::CreateKey(kKey);
  host::FailCall("RegOpenKeyExW", ERROR_ACCESS_DENIED);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  EXPECT_TRUE(host::OpenResources().empty());
}

}  // namespace
