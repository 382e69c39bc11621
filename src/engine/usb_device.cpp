#include "engine/usb_device.h"

#include <algorithm>
#include <cwchar>

#include "diag/diag_log.h"
#include "platform/unique_handle.h"
#include "platform/wide_text.h"

int GetDeviceName(const wchar_t* searchDevInstanceID, wchar_t* devicePath, const GUID& interfaceClass) {
  DiagLog::Write(L"GetDeviceName(%ls)", searchDevInstanceID ? searchDevInstanceID : L"");
  if (!searchDevInstanceID || !*searchDevInstanceID) {
    DiagLog::Write(L"ERROR: The function parameter 'searchDevInstanceID' is empty.");
    return 0;
  }
  platform::UniqueDeviceInfoSet set(
      SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set) {
    DiagLog::Write(L"Failed SetupDiGetClassDevs() invalid handle");
    return 0;
  }
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set.get(), i, &device)) {
      DiagLog::WriteError(GetLastError(), L"Failed SetupDiEnumDeviceInfo()");
      return 0;
    }
    // The device's own first interface of the class, so that a device with several interfaces
    // cannot pair a later device with a wrong path. A failure shows in the size query below.
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    SetupDiEnumDeviceInterfaces(set.get(), &device, &interfaceClass, 0, &iface);

    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, nullptr, 0, &needed, nullptr);
    if (needed == 0) {
      DiagLog::WriteError(GetLastError(), L"Failed first call to SetupDiGetInterfaceDeviceDetail()");
      return 0;
    }
    platform::UniqueLocalMemory buffer(LocalAlloc(LMEM_FIXED, std::max<size_t>(needed, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))));
    if (!buffer) {
      DiagLog::WriteError(GetLastError(), L"Failed to alloc buffer for device detail");
      return 0;
    }
    auto* detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, detail, needed, nullptr, nullptr)) {
      DiagLog::WriteError(GetLastError(), L"Failed second call to SetupDiGetInterfaceDeviceDetail()");
      return 0;
    }
    wchar_t path[USB_DEVICE_TEXT_CHARS];
    bool pathFits = CopyWholeText(path, USB_DEVICE_TEXT_CHARS, detail->DevicePath);
    wchar_t id[USB_DEVICE_TEXT_CHARS] = {};
    if (!SetupDiGetDeviceInstanceIdW(set.get(), &device, id, USB_DEVICE_TEXT_CHARS, nullptr)) id[0] = L'\0';
    DiagLog::Write(L"DevInstanceID: %ls ?= %ls", id, searchDevInstanceID);
    if (!ContainsNoCase(id, searchDevInstanceID)) continue;
    if (!pathFits) {
      DiagLog::Write(L"  Device path too long (%u characters), device passed over",
                     static_cast<unsigned>(std::wcslen(detail->DevicePath)));
      continue;
    }
    DiagLog::Write(L"Found Device %ls", path);
    DiagLog::Write(L" Found device name %ls", path);
    CopyWholeText(devicePath, USB_DEVICE_TEXT_CHARS, path);
    return 1;
  }
}


int Cusb::Open(const wchar_t* searchDevInstanceID) {
  DiagLog::Write(L"Cusb::Open(%ls)", searchDevInstanceID ? searchDevInstanceID : L"");
  m_hUsb = INVALID_HANDLE_VALUE;
  wchar_t path[USB_DEVICE_TEXT_CHARS];
  if (!GetDeviceName(searchDevInstanceID, path, GUID_DEVINTERFACE_USBPRINT)) return 0;
  DiagLog::Write(L" Attemping to open device (%ls)", path);
  // Overlapped, so that the channel's waits bound every transfer (see local_channel.h).
  m_hUsb = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
  if (m_hUsb == INVALID_HANDLE_VALUE) {
    DiagLog::Write(L" Open failed. m_hUsb == INVALID_HANDLE_VALUE (gle=%d)", static_cast<int>(GetLastError()));
    return 0;
  }
  return 1;
}
