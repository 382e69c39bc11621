#include "discovery/usb_lookup.h"

#include <algorithm>
#include <cwchar>

#include "diag/diag_log.h"
#include "discovery/installed_printers.h"
#include "platform/wide_text.h"
#include "platform/unique_handle.h"

namespace {

const wchar_t kEnumKeyFormat[] = L"SYSTEM\\CurrentControlSet\\Enum\\%ls";
const wchar_t kEnumKey[] = L"SYSTEM\\CurrentControlSet\\Enum\\";
const wchar_t kNoSetLine[] = L"SetupDiCreateDeviceInfoList call returned INVALID_HANDLE_VALUE";

// Reads a text value of at most 256 bytes into a USB_TEXT_CHARS buffer and terminates it (the
// registry does not promise a terminator).
LONG ReadTextValue(HKEY key, const wchar_t* keyPath, const wchar_t* name, wchar_t* text) {
  std::fill(text, text + USB_TEXT_CHARS, L'\0');
  DWORD size = 256;
  DWORD type = 0;
  LONG status = key ? RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(text), &size)
                    : GetValueFromHKLM(keyPath, name, reinterpret_cast<LPBYTE>(text), &size);
  if (status == ERROR_SUCCESS) text[std::min<size_t>(size / sizeof(wchar_t), USB_TEXT_CHARS - 1)] = L'\0';
  return status;
}

SP_DEVINFO_DATA NewDeviceRecord() {
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  return device;
}

// Opens the Printer-class child of a USB device in a new set of its own.
bool OpenPrinterChild(const wchar_t* usbDevInstID, platform::UniqueDeviceInfoSet& set, SP_DEVINFO_DATA& device) {
  wchar_t child[USB_TEXT_CHARS];
  if (!USBdevInstID_to_USBPRINTdevInstID(usbDevInstID, child)) return false;
  set.reset(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  if (!set) {
    DiagLog::Write(kNoSetLine);
    return false;
  }
  device = NewDeviceRecord();
  return SetupDiOpenDeviceInfoW(set.get(), child, nullptr, 0, &device) != FALSE;
}

void DestroySet(HDEVINFO& set) {
  if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
  set = INVALID_HANDLE_VALUE;
}

}  // namespace

LONG GetValueFromHKLM(const wchar_t* keyPath, const wchar_t* valueName, LPBYTE data, LPDWORD size) {
  DiagLog::Write(L"GetValueFromHKey %ls %ls", keyPath, valueName);
  platform::UniqueRegistryKey key;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.put());
  if (status != ERROR_SUCCESS) {
    DiagLog::WriteError(static_cast<DWORD>(status), L"GetValueFromHKLM->RegOpenKeyEx failed");
    return status;
  }
  DWORD type = 0;
  return RegQueryValueExW(key.get(), valueName, nullptr, &type, data, size);
}

int USBdevInstID_to_USBPRINTdevInstID(const wchar_t* usbDevInstID, wchar_t* usbprintDevInstID) {
  DiagLog::Write(L"USBdevInstID_to_USBPRINTdevInstID()");
  wchar_t keyPath[USB_TEXT_CHARS];
  if (std::wcslen(kEnumKey) + std::wcslen(usbDevInstID) >= USB_TEXT_CHARS) {
    DiagLog::Write(L"  Registry key path too long for instance ID %.40ls..., refused", usbDevInstID);
    return 0;
  }
  std::swprintf(keyPath, USB_TEXT_CHARS, kEnumKeyFormat, usbDevInstID);
  DiagLog::Write(L"GetStringFromHKLM %ls %ls", keyPath, L"ParentIdPrefix");
  wchar_t prefix[USB_TEXT_CHARS];
  if (ReadTextValue(nullptr, keyPath, L"ParentIdPrefix", prefix) != ERROR_SUCCESS) return 0;

  // Printer-class devices, present or not: a printer that is switched off keeps its port.
  platform::UniqueDeviceInfoSet set(SetupDiGetClassDevsW(&GUID_DEVCLASS_PRINTER, nullptr, nullptr, 0));
  if (!set) return 0;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA device = NewDeviceRecord();
    if (!SetupDiEnumDeviceInfo(set.get(), i, &device)) return 0;
    wchar_t child[USB_TEXT_CHARS] = {};
    if (!SetupDiGetDeviceInstanceIdW(set.get(), &device, child, USB_TEXT_CHARS, nullptr)) continue;
    if (!ContainsNoCase(child, prefix)) continue;
    CopyWholeText(usbprintDevInstID, USB_TEXT_CHARS, child);
    DiagLog::Write(L"    =USBdevInstID:  %ls", usbDevInstID);
    DiagLog::Write(L"    =USBPRINTdevInstID:  %ls", usbprintDevInstID);
    return 1;
  }
}

bool IsDeviceInstalled(const wchar_t* usbDevInstID) {
  DiagLog::Write(L"IsDeviceInstalled(%ls)", usbDevInstID);
  DWORD configFlags = 1;
  wchar_t child[USB_TEXT_CHARS];
  if (!USBdevInstID_to_USBPRINTdevInstID(usbDevInstID, child)) return false;
  platform::UniqueDeviceInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  if (!set) {
    DiagLog::Write(kNoSetLine);
    return false;
  }
  SP_DEVINFO_DATA device = NewDeviceRecord();
  if (SetupDiOpenDeviceInfoW(set.get(), child, nullptr, 0, &device)) {
    DWORD value = 1;
    if (SetupDiGetDeviceRegistryPropertyW(set.get(), &device, SPDRP_CONFIGFLAGS, nullptr,
                                          reinterpret_cast<PBYTE>(&value), sizeof value, nullptr)) {
      configFlags = value;
    }
  }
  DiagLog::Write(L"configFlags = %d", static_cast<int>(configFlags));
  return configFlags == 0;
}

int GetPortnameViaDevInstID(const wchar_t* usbDevInstID, wchar_t* portName) {
  DiagLog::Write(L"GetPortnameViaDevInstID(%ls)", usbDevInstID);
  portName[0] = L'\0';
  platform::UniqueDeviceInfoSet set;
  SP_DEVINFO_DATA device{};
  if (!OpenPrinterChild(usbDevInstID, set, device)) return 0;
  HKEY opened = SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (!opened || opened == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) return 0;
  platform::UniqueRegistryKey key(opened);
  if (ReadTextValue(key.get(), nullptr, L"PortName", portName) != ERROR_SUCCESS) {
    portName[0] = L'\0';
    return 0;
  }
  DiagLog::Write(L"Found PortName = '%ls'", portName);
  return 1;
}

int _GetUSBDevice(DWORD& index, HDEVINFO& m_hDevInfo, wchar_t* devInstID, bool& installed) {
  devInstID[0] = L'\0';
  DiagLog::Write(L"_GetUSBDevice(index=%d, vidpid=%ls)", static_cast<int>(index), L"NULL");
  if (index == 0) {
    DiagLog::Write(L"_GetUSBDevice first time so GetClassDevs");
    DestroySet(m_hDevInfo);  // a set left from an earlier walk would otherwise be lost
    m_hDevInfo = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (m_hDevInfo == INVALID_HANDLE_VALUE) return 0;
  } else if (m_hDevInfo == INVALID_HANDLE_VALUE) {
    DiagLog::Write(L" m_hDevInfo == INVALID_HANDLE_VALUE.  Make sure index = 0 on first call to this function.");
    return 0;
  }

  while (true) {
    SP_DEVINFO_DATA device = NewDeviceRecord();
    if (!SetupDiEnumDeviceInfo(m_hDevInfo, index, &device)) {
      DestroySet(m_hDevInfo);
      return 0;
    }
    ++index;
    // Devices without a hardware ID are passed over; an ID longer than the buffer is still one.
    BYTE hardwareId[256];
    if (!SetupDiGetDeviceRegistryPropertyW(m_hDevInfo, &device, SPDRP_HARDWAREID, nullptr, hardwareId,
                                           sizeof hardwareId, nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      continue;
    }
    wchar_t id[USB_TEXT_CHARS] = {};
    if (!SetupDiGetDeviceInstanceIdW(m_hDevInfo, &device, id, USB_TEXT_CHARS, nullptr)) continue;
    if (!CopyWholeText(devInstID, USB_ENUM_ID_CHARS, id)) {
      DiagLog::Write(L"  Device instance ID too long (%u characters), passed over: %.40ls...",
                     static_cast<unsigned>(std::wcslen(id)), id);
      continue;
    }
    DiagLog::Write(L"Device: %ls", devInstID);
    installed = IsDeviceInstalled(devInstID);
    DiagLog::Write(installed ? L" Found a device connected that IS installed: %ls"
                             : L" Found a device connected that is NOT installed: %ls",
                   devInstID);
    return 1;
  }
}

int GetDevInstIDViaPortname(HDEVINFO& m_hDevInfo, const wchar_t* portName, wchar_t* devInstID) {
  if (!portName) portName = L"";
  DiagLog::Write(L"GetDevInstIDViaPortname(%ls)", portName);
  devInstID[0] = L'\0';
  DWORD index = 0;
  wchar_t candidate[USB_ENUM_ID_CHARS];
  bool installed = false;
  // The installed flag plays no part: a device whose printer is not installed still matches.
  while (_GetUSBDevice(index, m_hDevInfo, candidate, installed)) {
    wchar_t candidatePort[USB_TEXT_CHARS];
    if (!GetPortnameViaDevInstID(candidate, candidatePort) || std::wcscmp(candidatePort, portName) != 0) continue;
    CopyWholeText(devInstID, USB_TEXT_CHARS, candidate);
    DiagLog::Write(L"pPortname \"%ls\" = devinst \"%ls\"", candidatePort, devInstID);
    DestroySet(m_hDevInfo);
    return 1;
  }
  return 0;
}

int GetDevInstIDViaPrinterName(const wchar_t* printerName, wchar_t* devInstID) {
  devInstID[0] = L'\0';
  wchar_t port[PRINTER_TEXT_CHARS];
  if (!GetPortname(port, printerName)) return 0;
  HDEVINFO set = INVALID_HANDLE_VALUE;
  int found = GetDevInstIDViaPortname(set, port, devInstID);
  DestroySet(set);
  return found;
}
