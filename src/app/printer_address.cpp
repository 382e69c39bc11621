#include "app/printer_address.h"

#include <cwchar>

#include "discovery/installed_printers.h"
#include "discovery/port_address.h"
#include "discovery/usb_lookup.h"
#include "net/address_resolution.h"
#include "platform/win32.h"

const wchar_t* UsbMatchText(const wchar_t* printerName) {
  return std::wcsstr(printerName, L"TV Vexline Q5530n") ? L"vid_7e51&pid_a717" : L"vid_7e51&pid_a617";
}

bool ToAnsiText(const wchar_t* text, char* ansi, size_t bytes) {
  if (bytes == 0) return false;
  ansi[0] = '\0';
  // UTF-8 holds every character and takes no default-character question.
  bool utf8 = GetACP() == CP_UTF8;
  BOOL usedDefault = FALSE;
  int written = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1, ansi, static_cast<int>(bytes),
                                    nullptr, utf8 ? nullptr : &usedDefault);
  if (written <= 0 || usedDefault) {
    ansi[0] = '\0';
    return false;
  }
  return true;
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
  if (!ToAnsiText(address, ansi, sizeof ansi) || inet_addr(ansi) == INADDR_NONE) {
    ResolveHostname(address, address);
  }
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
