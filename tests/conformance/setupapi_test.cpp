// The device-installation service on a machine without USB printers, as the program meets it
// when nothing is attached: empty sets, the end of an enumeration and a device instance that does
// not exist.
#include "conformance.h"

namespace {

using conformance::kPoison;

constexpr DWORD kInterfaceFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

TEST(SetupApi, EmptyInterfaceSetEndsAtOnce) {
  SetLastError(kPoison);
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, kInterfaceFlags);
  ASSERT_NE(set, INVALID_HANDLE_VALUE) << "error " << GetLastError();

  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  SetLastError(kPoison);
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &device));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

  SP_DEVICE_INTERFACE_DATA iface = {};
  iface.cbSize = sizeof iface;
  SetLastError(kPoison);
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &iface));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  SetLastError(kPoison);
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(SetupApi, MissingDeviceInstanceDoesNotOpen) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  ASSERT_NE(set, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  SetLastError(kPoison);
  EXPECT_FALSE(SetupDiOpenDeviceInfoW(set, L"USB\\VID_0000&PID_0000\\CONFORMANCE", nullptr, 0, &device));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST(SetupApi, ClassOrAllClassesIsRequired) {
  SetLastError(kPoison);
  EXPECT_EQ(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
