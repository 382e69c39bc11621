// The USB printing device behind a printer's USB port, found through the device-installation
// service and the registry: a printer's port name leads to the USB device instance ID whose
// Printer-class child reports that port. (The device path behind an instance ID, and the opening
// of the device, are the engine's: engine/usb_device.h.)
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Instance IDs, port names and device paths travel in buffers of this many characters.
constexpr size_t USB_TEXT_CHARS = 256;
// The enumeration step hands instance IDs back in buffers of this many characters.
constexpr size_t USB_ENUM_ID_CHARS = 246;

// The USB device instance ID behind the printer's port into `devInstID` (USB_TEXT_CHARS): 1, or
// 0 when no present USB printing device reports the printer's port name.
int GetDevInstIDViaPrinterName(const wchar_t* printerName, wchar_t* devInstID);
// The same from a port name (compared exactly). `m_hDevInfo` is the enumeration context,
// INVALID_HANDLE_VALUE on entry and on return.
int GetDevInstIDViaPortname(HDEVINFO& m_hDevInfo, const wchar_t* portName, wchar_t* devInstID);

// One step of the walk over the present USB printing devices. Index 0 creates the set in
// `m_hDevInfo` (releasing one left there); each step hands back the next device's instance ID
// (USB_ENUM_ID_CHARS) and whether its Printer-class child is installed, and advances `index`
// past it. The step that runs out of devices destroys the set; a caller that stops early
// destroys it itself.
int _GetUSBDevice(DWORD& index, HDEVINFO& m_hDevInfo, wchar_t* devInstID, bool& installed);

// True when the device's Printer-class child exists and its configuration flags are 0.
bool IsDeviceInstalled(const wchar_t* usbDevInstID);
// The instance ID of the Printer-class device whose ID contains the USB device's
// "ParentIdPrefix", into `usbprintDevInstID` (USB_TEXT_CHARS): 1, or 0 when there is none.
int USBdevInstID_to_USBPRINTdevInstID(const wchar_t* usbDevInstID, wchar_t* usbprintDevInstID);
// The "PortName" of the device's Printer-class child into `portName` (USB_TEXT_CHARS): 1 or 0.
int GetPortnameViaDevInstID(const wchar_t* usbDevInstID, wchar_t* portName);

// Reads a value of a key below HKEY_LOCAL_MACHINE into `data`; `size` is the buffer's size in
// bytes on entry and the bytes stored on return. Returns ERROR_SUCCESS or the failing call's status.
LONG GetValueFromHKLM(const wchar_t* keyPath, const wchar_t* valueName, LPBYTE data, LPDWORD size);
