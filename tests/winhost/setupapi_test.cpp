// The simulated device-installation service against documented Windows behaviour: the SDK's
// 64-bit structure sizes and cbSize checks, size negotiation, present and non-present devices,
// hardware keys, and device paths that open what is attached to the device.
#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/devices.h"
#include "host/kernel_objects.h"
#include "host/machine.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace {

using host::devices::PrinterClassDevice;
using host::devices::UsbPrintDevice;

const wchar_t kUsbId[] = L"USB\\VID_1234&PID_5678\\SER1";
const wchar_t kChildId[] = L"USBPRINT\\VEXLINE\\7&1A2B&0&USB001";

SP_DEVINFO_DATA DeviceRecord() {
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  return device;
}

HDEVINFO UsbPrintSet() {
  return SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

TEST(SetupApiTest, StructuresHaveTheSdkLayout) {
  // 64-bit figures (the 32-bit SDK has 28, 28 and 6); the path follows the size field.
  EXPECT_EQ(sizeof(SP_DEVINFO_DATA), 32u);
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), 32u);
  EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath), 4u);
  EXPECT_EQ(sizeof(GUID), 16u);
}

TEST(SetupApiTest, InterfaceSetsHoldPresentDevicesAndClassSetsAllDevices) {
  host::devices::AddUsbPrintDevice(UsbPrintDevice{kUsbId, L"USB\\VID_1234&PID_5678", L"7&1a2b&0"});
  host::devices::AddUsbPrintDevice(UsbPrintDevice{L"USB\\VID_1&PID_2\\GONE", L"X", std::nullopt, L"", false});
  host::devices::AddPrinterClassDevice(PrinterClassDevice{kChildId, 0, L"USB001", false});

  platform::UniqueDeviceInfoSet set(UsbPrintSet());
  ASSERT_TRUE(set);
  SP_DEVINFO_DATA device = DeviceRecord();
  ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &device));
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set.get(), 1, &device));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  device.cbSize = 28;
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set.get(), 0, &device));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));

  // A Printer-class set without DIGCF_PRESENT lists the printer that is not plugged in.
  platform::UniqueDeviceInfoSet printers(SetupDiGetClassDevsW(&GUID_DEVCLASS_PRINTER, nullptr, nullptr, 0));
  device = DeviceRecord();
  ASSERT_TRUE(SetupDiEnumDeviceInfo(printers.get(), 0, &device));
  EXPECT_TRUE(IsEqualGUID(device.ClassGuid, GUID_DEVCLASS_PRINTER));
  wchar_t id[64];
  DWORD needed = 0;
  EXPECT_FALSE(SetupDiGetDeviceInstanceIdW(printers.get(), &device, id, 32, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 33u);  // characters, terminator included
  EXPECT_FALSE(SetupDiGetDeviceInstanceIdW(printers.get(), &device, id, needed - 1, nullptr));
  ASSERT_TRUE(SetupDiGetDeviceInstanceIdW(printers.get(), &device, id, needed, nullptr));
  EXPECT_STREQ(id, kChildId);

  EXPECT_FALSE(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT) != INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SetupApiTest, PropertiesAndHardwareKeys) {
  host::devices::AddUsbPrintDevice(UsbPrintDevice{kUsbId, std::nullopt, L"7&1a2b&0"});
  host::devices::AddPrinterClassDevice(PrinterClassDevice{kChildId, 0x400, L"USB001"});
  host::devices::AddPrinterClassDevice(PrinterClassDevice{L"USBPRINT\\X\\NOKEY", 0, std::nullopt});

  platform::UniqueDeviceInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  SP_DEVINFO_DATA usb = DeviceRecord();
  SP_DEVINFO_DATA child = DeviceRecord();
  SP_DEVINFO_DATA bare = DeviceRecord();
  EXPECT_FALSE(SetupDiOpenDeviceInfoW(set.get(), L"USB\\NOT\\THERE", nullptr, 0, &usb));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_DEVINST);
  ASSERT_TRUE(SetupDiOpenDeviceInfoW(set.get(), kUsbId, nullptr, 0, &usb));
  ASSERT_TRUE(SetupDiOpenDeviceInfoW(set.get(), L"usbprint\\vexline\\7&1a2b&0&usb001", nullptr, 0, &child));
  ASSERT_TRUE(SetupDiOpenDeviceInfoW(set.get(), L"USBPRINT\\X\\NOKEY", nullptr, 0, &bare));

  // A property the device lacks fails with ERROR_INVALID_DATA.
  BYTE buffer[256];
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set.get(), &usb, SPDRP_HARDWAREID, nullptr, buffer, 256, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
  DWORD flags = 0;
  DWORD type = 0;
  DWORD needed = 0;
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set.get(), &child, SPDRP_CONFIGFLAGS, &type,
                                                 reinterpret_cast<PBYTE>(&flags), 3, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 4u);
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyW(set.get(), &child, SPDRP_CONFIGFLAGS, &type,
                                                reinterpret_cast<PBYTE>(&flags), 4, &needed));
  EXPECT_EQ(flags, 0x400u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

  HKEY key = SetupDiOpenDevRegKey(set.get(), &child, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  ASSERT_NE(key, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
  wchar_t port[64] = {};
  DWORD size = sizeof port;
  EXPECT_EQ(RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<LPBYTE>(port), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(port, L"USB001");
  EXPECT_EQ(host::OpenResources().size(), 2u);  // the set and the key
  RegCloseKey(key);
  EXPECT_EQ(SetupDiOpenDevRegKey(set.get(), &bare, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ),
            reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), ERROR_KEY_DOES_NOT_EXIST);
}

TEST(SetupApiTest, InterfaceDetailNegotiatesSizeAndChecksCbSize) {
  host::devices::AddUsbPrintDevice(UsbPrintDevice{kUsbId, L"HW", L"7&1a2b&0"});
  std::wstring path = host::devices::InterfacePathOf(kUsbId);
  EXPECT_EQ(path, L"\\\\?\\usb#vid_1234&pid_5678#ser1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");

  platform::UniqueDeviceInfoSet set(UsbPrintSet());
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof iface;
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &iface));
  EXPECT_EQ(iface.Flags, static_cast<DWORD>(SPINT_ACTIVE));
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_USBPRINT, 1, &iface));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

  DWORD needed = 0;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, nullptr, 0, &needed, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_EQ(needed, offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(WCHAR));

  std::vector<BYTE> buffer(needed);
  auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
  detail->cbSize = needed;  // a size field that is not sizeof the structure is refused
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, detail, needed, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, detail, needed - 1, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SP_DEVINFO_DATA device = DeviceRecord();
  ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, detail, needed, nullptr, &device));
  EXPECT_EQ(std::wstring(detail->DevicePath), path);
  wchar_t id[64];
  ASSERT_TRUE(SetupDiGetDeviceInstanceIdW(set.get(), &device, id, 64, nullptr));
  EXPECT_STREQ(id, kUsbId);

  // An interface record that the set never handed out is refused.
  SP_DEVICE_INTERFACE_DATA forged{};
  forged.cbSize = sizeof forged;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set.get(), &forged, nullptr, 0, &needed, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SetupApiTest, InterfacesOfOneDeviceOrOfTheWholeSet) {
  host::devices::AddUsbPrintDevice(UsbPrintDevice{L"USB\\A\\1", L"HW"});
  host::devices::AddInterface(L"USB\\A\\1", GUID_DEVINTERFACE_USBPRINT, L"\\\\?\\a-second");
  host::devices::AddUsbPrintDevice(UsbPrintDevice{L"USB\\B\\2", L"HW"});
  platform::UniqueDeviceInfoSet set(UsbPrintSet());
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof iface;
  auto pathOf = [&](const SP_DEVICE_INTERFACE_DATA& data) {
    std::vector<BYTE> buffer(1024);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVICE_INTERFACE_DATA copy = data;
    return SetupDiGetDeviceInterfaceDetailW(set.get(), &copy, detail, 1024, nullptr, nullptr)
               ? std::wstring(detail->DevicePath)
               : std::wstring();
  };
  // Over the whole set, the second interface belongs to the first device.
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_USBPRINT, 1, &iface));
  EXPECT_EQ(pathOf(iface), L"\\\\?\\a-second");
  SP_DEVINFO_DATA second = DeviceRecord();
  ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 1, &second));
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set.get(), &second, &GUID_DEVINTERFACE_USBPRINT, 0, &iface));
  EXPECT_EQ(pathOf(iface), host::devices::InterfacePathOf(L"USB\\B\\2"));
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), &second, &GUID_DEVINTERFACE_USBPRINT, 1, &iface));
}

class RecordingDevice : public host::KernelObject {
 public:
  std::string Describe() const override { return "recording device"; }
};

TEST(SetupApiTest, DevicePathOpensWhatIsAttached) {
  host::devices::AddUsbPrintDevice(UsbPrintDevice{kUsbId, L"HW"});
  host::devices::AddUsbPrintDevice(UsbPrintDevice{L"USB\\OFF\\1", L"HW", std::nullopt, L"", false});
  std::wstring path = host::devices::InterfacePathOf(kUsbId);

  // Nothing attached: the device opens, but transfers fail.
  platform::UniqueFile plain(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(plain);
  char byte = 0;
  DWORD done = 1;
  EXPECT_FALSE(ReadFile(plain.get(), &byte, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_EQ(done, 0u);

  auto attached = std::make_shared<RecordingDevice>();
  DWORD seenAccess = 0;
  DWORD seenFlags = 0xFFFF;
  host::devices::Attach(kUsbId, [&](DWORD access, DWORD flags) {
    seenAccess = access;
    seenFlags = flags;
    return host::DeviceOpen{true, attached, 0};
  });
  // Device paths match without regard to case.
  std::wstring upper = path;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  platform::UniqueFile bound(
      CreateFileW(upper.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(bound);
  EXPECT_EQ(host::ObjectOf(bound.get()), attached);
  EXPECT_EQ(seenAccess, GENERIC_READ | GENERIC_WRITE);
  EXPECT_EQ(seenFlags, 0u);

  std::wstring absent = host::devices::InterfacePathOf(L"USB\\OFF\\1");
  EXPECT_EQ(CreateFileW(absent.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(SetupApiTest, OpenSetsAreAccounted) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  ASSERT_EQ(host::OpenResources().size(), 1u);
  EXPECT_NE(host::OpenResources()[0].find("device information set"), std::string::npos);
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
