// USB device lookup on the simulated device tree: from a printer's port to its USB device, and
// from an instance ID to an open device handle, with every failure's line and no leaks.
#include "discovery/usb_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/usb_device.h"
#include "platform/wide_text.h"
#include "host/devices.h"
#include "host/kernel_objects.h"
#include "host/machine.h"
#include "host/registry.h"
#include "host/spooler.h"
#include "error_lines.h"
#include "support/trace.h"

namespace {

using host::devices::PrinterClassDevice;
using host::devices::UsbPrintDevice;
using discovery_test::ErrorTraced;
using discovery_test::FailureCase;
using testing_support::TraceCount;
using testing_support::Traced;
using testing_support::TraceTexts;

std::wstring UsbId(const std::wstring& serial) { return L"USB\\VID_17A1&PID_0A30\\" + serial; }

// A USB printing device and its Printer-class child, tied by the parent ID prefix (written in
// lower case; the class installer's child IDs are upper case).
void AddUsbPrinter(const std::wstring& serial, const std::wstring& prefix, const std::wstring& port,
                   DWORD configFlags = 0, bool childPresent = true) {
  host::devices::AddUsbPrintDevice(UsbPrintDevice{UsbId(serial), L"USB\\VID_17A1&PID_0A30&REV_0100", prefix});
  std::wstring child = L"USBPRINT\\TVVEXLINEQ5530N_MFP\\" + prefix + L"&" + port;
  std::transform(child.begin(), child.end(), child.begin(), ::towupper);
  host::devices::AddPrinterClassDevice(PrinterClassDevice{child, configFlags, port, childPresent});
}

int LinesStartingWith(const std::wstring& start) {
  int count = 0;
  for (const std::wstring& text : TraceTexts()) count += text.rfind(start, 0) == 0;
  return count;
}

TEST(UsbLookupTest, EachPrinterFindsItsOwnDeviceWhateverTheOrder) {
  host::spooler::AddPrinter({L"Alpha", L"USB001", L"TV Vexline Q5530n MFP"});
  host::spooler::AddPrinter({L"Beta", L"USB002", L"TV Vexline Q5530n MFP"});
  AddUsbPrinter(L"BETA2", L"7&2b2b2b2b&0", L"USB002");
  AddUsbPrinter(L"ALPHA1", L"7&1a1a1a1a&0", L"USB001");

  wchar_t id[USB_TEXT_CHARS];
  ASSERT_EQ(GetDevInstIDViaPrinterName(L"Alpha", id), 1);
  EXPECT_EQ(id, UsbId(L"ALPHA1"));
  EXPECT_TRUE(Traced(L"pPortname \"USB001\" = devinst \"" + UsbId(L"ALPHA1") + L"\""));
  ASSERT_EQ(GetDevInstIDViaPrinterName(L"Beta", id), 1);
  EXPECT_EQ(id, UsbId(L"BETA2"));
  EXPECT_TRUE(Traced(L"    =USBPRINTdevInstID:  USBPRINT\\TVVEXLINEQ5530N_MFP\\7&2B2B2B2B&0&USB002"));
  EXPECT_TRUE(Traced(L"Found PortName = 'USB002'"));

  // A printer whose port cannot be read gives no device and touches no device set.
  host::FailCall("OpenPrinterW", ERROR_ACCESS_DENIED);
  wcscpy(id, L"old");
  EXPECT_EQ(GetDevInstIDViaPrinterName(L"Alpha", id), 0);
  EXPECT_STREQ(id, L"");
}

TEST(UsbLookupTest, DeviceWhosePrinterIsNotInstalledStillMatches) {
  AddUsbPrinter(L"S1", L"7&aa&0", L"USB003", 0x400, false);
  HDEVINFO set = INVALID_HANDLE_VALUE;
  wchar_t id[USB_TEXT_CHARS];
  ASSERT_EQ(GetDevInstIDViaPortname(set, L"USB003", id), 1);
  EXPECT_EQ(set, INVALID_HANDLE_VALUE);
  EXPECT_EQ(id, UsbId(L"S1"));
  EXPECT_TRUE(Traced(L"configFlags = 1024"));
  EXPECT_TRUE(Traced(L" Found a device connected that is NOT installed: " + UsbId(L"S1")));
  // The port name is compared exactly.
  EXPECT_EQ(GetDevInstIDViaPortname(set, L"usb003", id), 0);
}

TEST(UsbLookupTest, FailedSearchLogsOneEnumerationLinePerDeviceAndOneMore) {
  AddUsbPrinter(L"S1", L"7&aa&0", L"USB001");
  // No hardware ID: passed over inside the step, without a line of its own.
  host::devices::AddUsbPrintDevice(UsbPrintDevice{UsbId(L"NOHW"), std::nullopt, L"7&cc&0"});
  // No "ParentIdPrefix": handed out, but it cannot be tied to a port.
  host::devices::AddUsbPrintDevice(UsbPrintDevice{UsbId(L"NOPREFIX"), L"HW"});
  AddUsbPrinter(L"S2", L"7&bb&0", L"USB002", 0);

  HDEVINFO set = INVALID_HANDLE_VALUE;
  wchar_t id[USB_TEXT_CHARS] = L"old";
  EXPECT_EQ(GetDevInstIDViaPortname(set, L"USB009", id), 0);
  EXPECT_STREQ(id, L"");
  EXPECT_EQ(set, INVALID_HANDLE_VALUE);
  EXPECT_EQ(LinesStartingWith(L"_GetUSBDevice(index="), 4);
  for (const wchar_t* line : {L"_GetUSBDevice(index=0, vidpid=NULL)", L"_GetUSBDevice(index=1, vidpid=NULL)",
                              L"_GetUSBDevice(index=3, vidpid=NULL)", L"_GetUSBDevice(index=4, vidpid=NULL)"}) {
    EXPECT_TRUE(Traced(line)) << line;
  }
  EXPECT_EQ(TraceCount(L"_GetUSBDevice first time so GetClassDevs"), 1);
  EXPECT_FALSE(Traced(L"Device: " + UsbId(L"NOHW")));
  EXPECT_TRUE(Traced(L" Found a device connected that is NOT installed: " + UsbId(L"NOPREFIX")));
  // A missing value is not an error line: the key itself opened.
  EXPECT_TRUE(Traced(L"GetValueFromHKey SYSTEM\\CurrentControlSet\\Enum\\" + UsbId(L"NOPREFIX") + L" ParentIdPrefix"));
  EXPECT_EQ(LinesStartingWith(L"===>>> ERROR"), 0);

  // The device without a prefix does not stop the walk from reaching the next one.
  EXPECT_EQ(GetDevInstIDViaPortname(set, L"USB002", id), 1);
  EXPECT_EQ(id, UsbId(L"S2"));
}

TEST(UsbLookupTest, WalkStepsAndTheirContext) {
  AddUsbPrinter(L"S1", L"7&aa&0", L"USB001");
  DWORD index = 1;
  HDEVINFO set = INVALID_HANDLE_VALUE;
  wchar_t id[USB_ENUM_ID_CHARS] = L"old";
  bool installed = false;
  EXPECT_EQ(_GetUSBDevice(index, set, id, installed), 0);
  EXPECT_TRUE(
      Traced(L" m_hDevInfo == INVALID_HANDLE_VALUE.  Make sure index = 0 on first call to this function."));
  EXPECT_STREQ(id, L"");
  EXPECT_EQ(host::CallCount("SetupDiGetClassDevsW"), 0);

  // Starting over at index 0 with a set still held releases that set (leak check).
  set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  index = 0;
  ASSERT_EQ(_GetUSBDevice(index, set, id, installed), 1);
  EXPECT_EQ(index, 1u);
  EXPECT_TRUE(installed);
  EXPECT_TRUE(Traced(L" Found a device connected that IS installed: " + UsbId(L"S1")));
  EXPECT_EQ(_GetUSBDevice(index, set, id, installed), 0);
  EXPECT_EQ(set, INVALID_HANDLE_VALUE);
}

TEST(UsbLookupTest, LongInstanceIdsAreRefusedAndLongHardwareIdsKept) {
  std::wstring longSerial(USB_ENUM_ID_CHARS - UsbId(L"").size(), L'Z');
  host::devices::AddUsbPrintDevice(UsbPrintDevice{UsbId(longSerial), L"HW", L"7&dd&0"});
  // A hardware ID longer than the 256 bytes read is still a hardware ID.
  host::devices::AddUsbPrintDevice(UsbPrintDevice{UsbId(L"S1"), std::wstring(300, L'H'), L"7&aa&0"});
  DWORD index = 0;
  HDEVINFO set = INVALID_HANDLE_VALUE;
  wchar_t id[USB_ENUM_ID_CHARS];
  bool installed = false;
  ASSERT_EQ(_GetUSBDevice(index, set, id, installed), 1);
  EXPECT_EQ(id, UsbId(L"S1"));
  EXPECT_EQ(LinesStartingWith(L"  Device instance ID too long (246 characters), passed over: "), 1);
  SetupDiDestroyDeviceInfoList(set);
}

TEST(UsbLookupTest, DeviceNameMatchesAnywhereWithoutCase) {
  AddUsbPrinter(L"FIRST", L"7&aa&0", L"USB001");
  AddUsbPrinter(L"SECOND", L"7&bb&0", L"USB002");
  wchar_t path[USB_TEXT_CHARS] = L"old";
  ASSERT_EQ(GetDeviceName(L"pid_0a30\\sec", path, GUID_DEVINTERFACE_USBPRINT), 1);
  std::wstring expected = host::devices::InterfacePathOf(UsbId(L"SECOND"));
  EXPECT_EQ(path, expected);
  EXPECT_TRUE(Traced(L"DevInstanceID: " + UsbId(L"FIRST") + L" ?= pid_0a30\\sec"));
  EXPECT_TRUE(Traced(L"Found Device " + expected));
  EXPECT_TRUE(Traced(L" Found device name " + expected));

  EXPECT_TRUE(ContainsNoCase(L"USBPRINT\\X\\7&1A2B&0&USB001", L"7&1a2b&0"));
  EXPECT_FALSE(ContainsNoCase(L"USB\\X", L""));
  EXPECT_FALSE(ContainsNoCase(L"", L"x"));
  EXPECT_FALSE(ContainsNoCase(L"USB\\X", L"USB\\XY"));
}

TEST(UsbLookupTest, DeviceNamePairsEachDeviceWithItsOwnInterface) {
  AddUsbPrinter(L"FIRST", L"7&aa&0", L"USB001");
  host::devices::AddInterface(UsbId(L"FIRST"), GUID_DEVINTERFACE_USBPRINT, L"\\\\?\\first-second-interface");
  AddUsbPrinter(L"SECOND", L"7&bb&0", L"USB002");
  wchar_t path[USB_TEXT_CHARS];
  ASSERT_EQ(GetDeviceName(UsbId(L"SECOND").c_str(), path, GUID_DEVINTERFACE_USBPRINT), 1);
  EXPECT_EQ(path, host::devices::InterfacePathOf(UsbId(L"SECOND")));
}

TEST(UsbLookupTest, DeviceNameFailuresGiveTheirLines) {
  wchar_t path[USB_TEXT_CHARS];
  EXPECT_EQ(GetDeviceName(L"", path, GUID_DEVINTERFACE_USBPRINT), 0);
  EXPECT_EQ(GetDeviceName(nullptr, path, GUID_DEVINTERFACE_USBPRINT), 0);
  EXPECT_EQ(TraceCount(L"ERROR: The function parameter 'searchDevInstanceID' is empty."), 2);
  EXPECT_EQ(host::CallCount("SetupDiGetClassDevsW"), 0);

  AddUsbPrinter(L"S1", L"7&aa&0", L"USB001");
  EXPECT_EQ(GetDeviceName(L"NOT-THERE", path, GUID_DEVINTERFACE_USBPRINT), 0);
  EXPECT_TRUE(ErrorTraced(L"Failed SetupDiEnumDeviceInfo()", ERROR_NO_MORE_ITEMS));

  const FailureCase cases[] = {
      {"SetupDiGetDeviceInterfaceDetailW", ERROR_INVALID_PARAMETER, 0,
       L"Failed first call to SetupDiGetInterfaceDeviceDetail()"},
      {"LocalAlloc", ERROR_NOT_ENOUGH_MEMORY, 0, L"Failed to alloc buffer for device detail"},
      {"SetupDiGetDeviceInterfaceDetailW", ERROR_INVALID_USER_BUFFER, 1,
       L"Failed second call to SetupDiGetInterfaceDeviceDetail()"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.api);
    host::FailCall(c.api, c.error, 1, c.skip);
    EXPECT_EQ(GetDeviceName(L"S1", path, GUID_DEVINTERFACE_USBPRINT), 0);
    EXPECT_TRUE(ErrorTraced(c.context, c.error));
    EXPECT_TRUE(host::OpenResources().empty());
  }
  host::FailCall("SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetDeviceName(L"S1", path, GUID_DEVINTERFACE_USBPRINT), 0);
  EXPECT_TRUE(Traced(L"Failed SetupDiGetClassDevs() invalid handle"));
}

class PrinterEnd : public host::KernelObject {
 public:
  std::string Describe() const override { return "printer end"; }
};

TEST(UsbLookupTest, CusbOpensTheAttachedDevice) {
  AddUsbPrinter(L"S1", L"7&aa&0", L"USB001");
  auto end = std::make_shared<PrinterEnd>();
  DWORD flagsAsked = 0xFFFF;
  host::devices::Attach(UsbId(L"S1"), [&](DWORD, DWORD flags) {
    flagsAsked = flags;
    return host::DeviceOpen{true, end, 0};
  });
  Cusb usb;
  ASSERT_EQ(usb.Open(L"0A30\\S1"), 1);
  EXPECT_EQ(host::ObjectOf(usb.m_hUsb), end);
  EXPECT_EQ(flagsAsked, static_cast<DWORD>(FILE_FLAG_OVERLAPPED));  // so that transfer time-outs hold
  EXPECT_TRUE(Traced(L" Attemping to open device (" + host::devices::InterfacePathOf(UsbId(L"S1")) + L")"));
  CloseHandle(usb.m_hUsb);

  host::devices::Attach(UsbId(L"S1"), [](DWORD, DWORD) { return host::DeviceOpen{true, nullptr, ERROR_SHARING_VIOLATION}; });
  EXPECT_EQ(usb.Open(L"S1"), 0);
  EXPECT_EQ(usb.m_hUsb, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Traced(L" Open failed. m_hUsb == INVALID_HANDLE_VALUE (gle=32)"));

  EXPECT_EQ(usb.Open(L"S9"), 0);
  EXPECT_EQ(usb.m_hUsb, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Traced(L"Cusb::Open(S9)"));
}

TEST(UsbLookupTest, RegistryAndDeviceSetFailures) {
  BYTE data[8];
  DWORD size = sizeof data;
  EXPECT_EQ(GetValueFromHKLM(L"SYSTEM\\Nowhere", L"V", data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(Traced(L"GetValueFromHKey SYSTEM\\Nowhere V"));
  EXPECT_TRUE(ErrorTraced(L"GetValueFromHKLM->RegOpenKeyEx failed", ERROR_FILE_NOT_FOUND));
  host::registry::SetString(L"SYSTEM\\Somewhere", L"V", L"longer than eight bytes");
  EXPECT_EQ(GetValueFromHKLM(L"SYSTEM\\Somewhere", L"V", data, &size), ERROR_MORE_DATA);

  AddUsbPrinter(L"S1", L"7&aa&0", L"USB001");
  host::FailCall("SetupDiCreateDeviceInfoList", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(IsDeviceInstalled(UsbId(L"S1").c_str()));
  host::FailCall("SetupDiCreateDeviceInfoList", ERROR_NOT_ENOUGH_MEMORY);
  wchar_t port[USB_TEXT_CHARS];
  EXPECT_EQ(GetPortnameViaDevInstID(UsbId(L"S1").c_str(), port), 0);
  EXPECT_EQ(TraceCount(L"SetupDiCreateDeviceInfoList call returned INVALID_HANDLE_VALUE"), 2);

  // A child without a hardware key has no port; the open key of a child that has one is closed.
  host::devices::AddUsbPrintDevice(UsbPrintDevice{UsbId(L"S2"), L"HW", L"7&ee&0"});
  host::devices::AddPrinterClassDevice(PrinterClassDevice{L"USBPRINT\\M\\7&EE&0&USB002", 0, std::nullopt});
  EXPECT_EQ(GetPortnameViaDevInstID(UsbId(L"S2").c_str(), port), 0);
  ASSERT_EQ(GetPortnameViaDevInstID(UsbId(L"S1").c_str(), port), 1);
  EXPECT_STREQ(port, L"USB001");
}

}  // namespace
