#include "discovery/port_address.h"

#include <cstring>
#include <cwchar>
#include <cwctype>

#include "diag/diag_log.h"
#include "platform/wide_text.h"
#include "discovery/usb_lookup.h"
#include "net/address_resolution.h"
#include "platform/unique_handle.h"

namespace {

// Channel names, monitor key names and key paths are built in buffers of this many characters.
constexpr size_t kNameChars = 256;
const wchar_t kChannelPrefix[] = L",XcvPort ";
const wchar_t kKeyFormat[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\%ls\\Ports\\%ls";
// The characters of the key path besides the two names.
constexpr size_t kKeyFixedChars = sizeof kKeyFormat / sizeof(wchar_t) - 1 - 2 * 3;
const wchar_t kValueName[] = L"IPAddress";

void RefuseLongText(const wchar_t* what, const wchar_t* text) {
  DiagLog::Write(L"  %ls too long (%u characters), refused: %.40ls...", what, static_cast<unsigned>(std::wcslen(text)),
                 text);
}

// The port monitor's key name from a port description: at most kNameChars characters, without
// the trailing characters that are not letters or digits (the first character always stays).
bool MonitorKeyName(const wchar_t* description, wchar_t* name) {
  if (!CopyWholeText(name, kNameChars, description)) {
    RefuseLongText(L"Port description", description);
    return false;
  }
  for (size_t last = std::wcslen(name); last > 1 && !std::iswalnum(static_cast<wint_t>(name[last - 1])); --last) {
    name[last - 1] = L'\0';
  }
  return true;
}

// The port's "IPAddress" value from the registry key of its monitor, named by the description of
// the port's level-2 record. 1 when the value was read into `address`.
int ReadAddressFromRegistry(const wchar_t* portName, wchar_t* address) {
  DWORD needed = 0;
  DWORD returned = 0;
  spooler::EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned);
  platform::UniqueLocalMemory buffer(LocalAlloc(LMEM_FIXED, needed));
  if (!buffer) return 0;
  if (!spooler::EnumPortsW(nullptr, 2, static_cast<LPBYTE>(buffer.get()), needed, &needed, &returned) ||
      returned == 0) {
    return 0;
  }

  const auto* records = static_cast<const PORT_INFO_2W*>(buffer.get());
  const PORT_INFO_2W* match = nullptr;
  for (DWORD i = 0; i < returned && !match; ++i) {
    const wchar_t* name = records[i].pPortName ? records[i].pPortName : L"";
    DiagLog::Write(L"ports %ls ?= %ls", name, portName);
    if (std::wcscmp(name, portName) == 0) match = &records[i];
  }
  if (!match) return 0;

  wchar_t monitorKey[kNameChars];
  if (!MonitorKeyName(match->pDescription, monitorKey)) return 0;
  wchar_t keyPath[kNameChars];
  if (kKeyFixedChars + std::wcslen(monitorKey) + std::wcslen(portName) >= kNameChars) {
    RefuseLongText(L"Registry key path for port", portName);
    return 0;
  }
  std::swprintf(keyPath, kNameChars, kKeyFormat, monitorKey, portName);

  DiagLog::Write(L"GetStringFromHKLM %ls %ls", keyPath, kValueName);
  DWORD size = PORT_ADDRESS_BYTES;
  if (GetValueFromHKLM(keyPath, kValueName, reinterpret_cast<LPBYTE>(address), &size) != ERROR_SUCCESS) return 0;
  // The registry does not promise a terminator: the text ends where the value ends, so nothing
  // the port monitor left in the buffer can be appended to it.
  address[size / sizeof(wchar_t)] = L'\0';
  return 1;
}

}  // namespace

int GetIPAddressViaXcvData(const wchar_t* portName, wchar_t* address, DWORD size) {
  if (!portName) portName = L"";
  // Cleared first, so that no earlier text in the buffer is ever taken for this port's answer.
  std::memset(address, 0, size);

  wchar_t channel[kNameChars];
  if (std::wcslen(kChannelPrefix) + std::wcslen(portName) >= kNameChars) {
    RefuseLongText(L"Port name", portName);
    return 0;
  }
  std::swprintf(channel, kNameChars, L"%ls%ls", kChannelPrefix, portName);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  platform::UniquePrinter monitor;
  if (!spooler::OpenPrinterW(channel, monitor.put(), &defaults)) {
    DiagLog::Write(L"OpenPrinter() failed (gle=%d)", static_cast<int>(GetLastError()));
    return 0;
  }

  DWORD needed = 0;
  DWORD status = 0;
  if (!spooler::XcvDataW(monitor.get(), kValueName, nullptr, 0, reinterpret_cast<PBYTE>(address), size, &needed,
                         &status)) {
    DiagLog::Write(L"XcvData failed (gle=%d)", static_cast<int>(GetLastError()));
    return 0;
  }
  // Only an answer the monitor reports as successful, and that ends inside the buffer, counts.
  if (std::wmemchr(address, L'\0', size / sizeof(wchar_t)) == nullptr) {
    std::memset(address, 0, size);
    DiagLog::Write(L"  XcvData answer not terminated within %u bytes, refused", static_cast<unsigned>(size));
    return 0;
  }
  DiagLog::Write(L"IPbuf: %ls", address);
  if (status != ERROR_SUCCESS) {
    DiagLog::Write(L"  XcvData status %d, answer not used", static_cast<int>(status));
    return 0;
  }
  return 1;
}

int GetIPAddressViaPortname(const wchar_t* portName, wchar_t* address) {
  if (!portName) portName = L"";
  if (GetIPAddressViaXcvData(portName, address, PORT_ADDRESS_BYTES) && address[0] && ValidIPAddress(address)) {
    return 1;
  }
  return ReadAddressFromRegistry(portName, address);
}
