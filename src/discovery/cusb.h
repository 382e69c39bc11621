// The USB printer device, opened as a file by its device path for the USB channel.
#pragma once

#include "platform/win32.h"

class Cusb {
 public:
  // INVALID_HANDLE_VALUE when not open. The holder that opened it closes it with CloseHandle.
  HANDLE m_hUsb = INVALID_HANDLE_VALUE;

  // Opens the present USB printing device whose instance ID contains `searchDevInstanceID`
  // (read and write, not overlapped). Returns 1, or 0 with m_hUsb = INVALID_HANDLE_VALUE.
  int Open(const wchar_t* searchDevInstanceID);
};
