// The test-facing control of the simulated device tree behind SetupAPI: USB printing devices
// with their USB printer interface, and the Printer-class devices that the printer class
// installer creates as their children. Adding a device also writes its registry values below
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\<instance ID>.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "host/files.h"
#include "winhost/base.h"
#include "winhost/guiddef.h"

namespace host {
namespace devices {

struct UsbPrintDevice {
  std::wstring instanceId{};                   // "USB\VID_1234&PID_5678\SERIAL"
  std::optional<std::wstring> hardwareId{};    // SPDRP_HARDWAREID (one ID); none: no such property
  std::optional<std::wstring> parentIdPrefix{};// "ParentIdPrefix" of its Enum key; none: no value
  std::wstring interfacePath{};                // empty: derived from the instance ID
  bool present = true;
};

struct PrinterClassDevice {
  std::wstring instanceId{};             // "USBPRINT\MODEL\<parent ID prefix>&USB001"
  DWORD configFlags = 0;                 // SPDRP_CONFIGFLAGS; 0 means installed
  std::optional<std::wstring> portName{};  // "PortName" of its hardware key; none: no hardware key
  bool present = true;
};

// Adds a device; devices are enumerated in the order they were added.
void AddUsbPrintDevice(const UsbPrintDevice& device);
void AddPrinterClassDevice(const PrinterClassDevice& device);
// Gives a device one more interface (devices with several interfaces of a class).
void AddInterface(const std::wstring& instanceId, const GUID& interfaceClass, const std::wstring& path);

// The device path of a USB printing device's first interface.
std::wstring InterfacePathOf(const std::wstring& instanceId);

// What opening an interface path of a device with CreateFileW gives: the attachment receives the
// access and flags asked for and returns the object behind the new handle (or an error). A
// present device without an attachment opens to a handle whose reads and writes fail with
// ERROR_GEN_FAILURE; a device that is not present does not open (ERROR_FILE_NOT_FOUND).
using Attachment = std::function<DeviceOpen(DWORD access, DWORD flags)>;
void Attach(const std::wstring& instanceId, Attachment attachment);

}  // namespace devices
}  // namespace host
