#include "app/printer_address.h"

#include <cwchar>

#include "diag/diag_log.h"
#include "discovery/installed_printers.h"
#include "discovery/port_address.h"
#include "discovery/usb_lookup.h"
#include "net/address_resolution.h"
#include "platform/wide_text.h"
#include "platform/win32.h"

const wchar_t* UsbMatchText(const wchar_t* printerName) {
  return std::wcsstr(printerName, L"TV Vexline Q5530n") ? L"vid_7e51&pid_a717" : L"vid_7e51&pid_a617";
}

namespace {

bool FindUsbInstance(const wchar_t* printerName, wchar_t* address) {
  wchar_t port[PRINTER_TEXT_CHARS] = {};
  GetPortname(port, printerName);
  HDEVINFO devices = INVALID_HANDLE_VALUE;
  return GetDevInstIDViaPortname(devices, port, address) == 1;
}

bool FindNetworkAddress(const wchar_t* printerName, wchar_t* address) {
  wchar_t port[PRINTER_TEXT_CHARS] = {};
  GetPortname(port, printerName);
  if (GetIPAddressViaPortname(port, address) != 1) return false;
  // A dotted IPv4 address is used as it is; anything else is taken for a host name.
  char ansi[MAX_PATH] = {};
  if (!WideToAnsiExact(address, ansi, sizeof ansi)) {
    // A best-fit form could name another host or become a valid dotted address.
    DiagLog::Write(L"FindDeviceAddress(): address not exact in the ANSI code page refused: %ls", address);
    return false;
  }
  if (inet_addr(ansi) == INADDR_NONE) ResolveHostname(address, address);
  return true;
}

}  // namespace

bool FindDeviceAddress(ConnectionKind kind, const wchar_t* printerName, wchar_t* address) {
  switch (kind) {
    case CONNECTION_USB:
      return FindUsbInstance(printerName, address);
    case CONNECTION_NETWORK:
      return FindNetworkAddress(printerName, address);
    default:
      return true;
  }
}
