// The USB printing device: its device path found through the device-installation service by its
// instance ID, and its opening as a file for the USB channel.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Instance IDs and device paths travel in buffers of this many characters.
constexpr size_t USB_DEVICE_TEXT_CHARS = 256;

// The device path (USB_DEVICE_TEXT_CHARS) of the first present device exposing `interfaceClass`
// whose instance ID contains `searchDevInstanceID` without regard to case: 1, or 0.
int GetDeviceName(const wchar_t* searchDevInstanceID, wchar_t* devicePath, const GUID& interfaceClass);

class Cusb {
 public:
  // INVALID_HANDLE_VALUE when not open. The holder that opened it closes it with CloseHandle.
  HANDLE m_hUsb = INVALID_HANDLE_VALUE;

  // Opens the present USB printing device whose instance ID contains `searchDevInstanceID`
  // (read and write, overlapped). Returns 1, or 0 with m_hUsb = INVALID_HANDLE_VALUE.
  int Open(const wchar_t* searchDevInstanceID);
};
