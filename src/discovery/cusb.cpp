#include "discovery/cusb.h"

#include "diag/diag_log.h"
#include "discovery/usb_lookup.h"

int Cusb::Open(const wchar_t* searchDevInstanceID) {
  DiagLog::Write(L"Cusb::Open(%ls)", searchDevInstanceID ? searchDevInstanceID : L"");
  m_hUsb = INVALID_HANDLE_VALUE;
  wchar_t path[USB_TEXT_CHARS];
  if (!GetDeviceName(searchDevInstanceID, path, GUID_DEVINTERFACE_USBPRINT)) return 0;
  DiagLog::Write(L" Attemping to open device (%ls)", path);
  m_hUsb = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (m_hUsb == INVALID_HANDLE_VALUE) {
    DiagLog::Write(L" Open failed. m_hUsb == INVALID_HANDLE_VALUE (gle=%d)", static_cast<int>(GetLastError()));
    return 0;
  }
  return 1;
}
