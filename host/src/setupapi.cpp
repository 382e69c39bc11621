// The device-installation service of the simulated machine: a device tree of USB printing
// devices and Printer-class devices, device information sets over it, properties, interfaces,
// hardware keys, and the device paths that CreateFileW opens.
#include "host/devices.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <mutex>
#include <vector>

#include "handle_table.h"
#include "host/kernel_objects.h"
#include "host/machine.h"
#include "host/registry.h"
#include "internal.h"
#include "registry_internal.h"
#include "winhost/kernel.h"
#include "winhost/setupapi.h"

namespace host {
namespace {

// The USB setup class, of the USB printing devices themselves.
constexpr GUID kUsbClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const wchar_t kEnumKey[] = L"SYSTEM\\CurrentControlSet\\Enum\\";
const wchar_t kUsbPrintInterfaceSuffix[] = L"#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
constexpr DWORD kClassMismatch = 0xE0000203;  // ERROR_CLASS_MISMATCH

struct Interface {
  GUID interfaceClass;
  std::wstring path;
};

struct Device {
  std::wstring instanceId;
  GUID setupClass;
  DWORD devInst;
  bool present;
  std::optional<std::wstring> hardwareId;
  std::optional<DWORD> configFlags;
  std::vector<Interface> interfaces;
  devices::Attachment attachment;
};

// One member of a set: the device's index in the tree.
struct DeviceSet {
  std::optional<GUID> setupClass;  // of SetupDiCreateDeviceInfoList
  std::vector<size_t> members;
};

struct DeviceState {
  std::mutex lock;
  std::vector<Device> devices;
  HandleTable<DeviceSet> sets{"device information set", 0x6D0000, 0x10};
  bool openerRegistered = false;
};

DeviceState& State() {
  static DeviceState* state = new DeviceState;
  return *state;
}

std::vector<std::string> ListOpenSets() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().sets.List(
      [](const DeviceSet& set) { return "(" + std::to_string(set.members.size()) + " devices)"; });
}

void ResetDevices() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().devices.clear();
  State().sets.Clear(false);
  State().openerRegistered = false;
}

const bool g_registered = [] {
  RegisterArea(Area{"device installation", ResetDevices, ListOpenSets});
  return true;
}();

// A device that is present but has nothing attached: it opens, and every transfer fails.
class UnattachedDevice : public KernelObject {
 public:
  explicit UnattachedDevice(std::wstring path) : path_(std::move(path)) {}
  std::string Describe() const override { return "device " + Utf8Of(path_); }
  BOOL Read(void*, DWORD, DWORD* done, OVERLAPPED* overlapped) override { return Fail(done, overlapped); }
  BOOL Write(const void*, DWORD, DWORD* done, OVERLAPPED* overlapped) override { return Fail(done, overlapped); }

 private:
  static BOOL Fail(DWORD* done, OVERLAPPED* overlapped) {
    if (done) *done = 0;
    CompleteOverlapped(overlapped, ERROR_GEN_FAILURE, 0);
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  std::wstring path_;
};

DeviceOpen OpenInterfacePath(const std::wstring& path, DWORD access, DWORD flags) {
  devices::Attachment attachment;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    const Device* found = nullptr;
    for (const Device& device : State().devices) {
      for (const Interface& iface : device.interfaces) {
        if (NamesEqual(iface.path, path)) found = &device;
      }
    }
    if (!found) return DeviceOpen{};
    if (!found->present) return DeviceOpen{true, nullptr, ERROR_FILE_NOT_FOUND};
    attachment = found->attachment;
  }
  if (!attachment) return DeviceOpen{true, std::make_shared<UnattachedDevice>(path), 0};
  DeviceOpen opened = attachment(access, flags);
  opened.handled = true;
  return opened;
}

// The device paths are handed to the file system's openers from the first device a test adds.
void AddDeviceLocked(Device device) {
  if (!State().openerRegistered) {
    State().openerRegistered = true;
    RegisterDeviceOpener([](const std::wstring& path, DWORD access, DWORD, DWORD, DWORD flags) {
      return OpenInterfacePath(path, access, flags);
    });
  }
  device.devInst = static_cast<DWORD>(State().devices.size() + 1);
  State().devices.push_back(std::move(device));
}

Device* FindDeviceLocked(const std::wstring& instanceId) {
  for (Device& device : State().devices) {
    if (NamesEqual(device.instanceId, instanceId)) return &device;
  }
  return nullptr;
}

DeviceSet* SetOfLocked(HDEVINFO set) {
  return State().sets.Find(set);
}

HDEVINFO NewSetLocked(DeviceSet set) {
  return reinterpret_cast<HDEVINFO>(State().sets.Add(std::move(set)));
}

// A device record carries the member's position in its set (plus 1) in Reserved.
void FillDeviceLocked(PSP_DEVINFO_DATA data, size_t member, const Device& device) {
  data->ClassGuid = device.setupClass;
  data->DevInst = device.devInst;
  data->Reserved = member + 1;
}

// The device a record names, or null with the last error set.
Device* DeviceOfLocked(HDEVINFO handle, PSP_DEVINFO_DATA data) {
  DeviceSet* set = SetOfLocked(handle);
  if (!set) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->Reserved == 0 ||
      data->Reserved > set->members.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return &State().devices[set->members[data->Reserved - 1]];
}

// Interface records carry (member + 1) << 16 | (interface index + 1) in Reserved.
ULONG_PTR InterfaceKey(size_t member, size_t index) { return ((member + 1) << 16) | (index + 1); }

const Interface* InterfaceOfLocked(const DeviceSet& set, const SP_DEVICE_INTERFACE_DATA* data, size_t* member) {
  if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0) return nullptr;
  size_t m = (data->Reserved >> 16);
  size_t i = (data->Reserved & 0xFFFF);
  if (m == 0 || m > set.members.size() || i == 0) return nullptr;
  const Device& device = State().devices[set.members[m - 1]];
  if (i > device.interfaces.size()) return nullptr;
  *member = m - 1;
  return &device.interfaces[i - 1];
}

std::wstring DefaultInterfacePath(const std::wstring& instanceId) {
  std::wstring path = L"\\\\?\\";
  for (wchar_t c : instanceId) path += (c == L'\\') ? L'#' : static_cast<wchar_t>(std::towlower(c));
  return path + kUsbPrintInterfaceSuffix;
}

}  // namespace

namespace devices {

void AddUsbPrintDevice(const UsbPrintDevice& usb) {
  std::wstring key = kEnumKey + usb.instanceId;
  registry::CreateKey(key);
  if (usb.parentIdPrefix) registry::SetString(key, L"ParentIdPrefix", *usb.parentIdPrefix);
  Device device{};
  device.instanceId = usb.instanceId;
  device.setupClass = kUsbClass;
  device.present = usb.present;
  device.hardwareId = usb.hardwareId;
  device.configFlags = 0;
  device.interfaces.push_back(Interface{GUID_DEVINTERFACE_USBPRINT, usb.interfacePath.empty()
                                                                        ? DefaultInterfacePath(usb.instanceId)
                                                                        : usb.interfacePath});
  std::lock_guard<std::mutex> guard(State().lock);
  AddDeviceLocked(std::move(device));
}

void AddPrinterClassDevice(const PrinterClassDevice& printer) {
  std::wstring key = kEnumKey + printer.instanceId;
  registry::CreateKey(key);
  if (printer.portName) registry::SetString(key + L"\\Device Parameters", L"PortName", *printer.portName);
  Device device{};
  device.instanceId = printer.instanceId;
  device.setupClass = GUID_DEVCLASS_PRINTER;
  device.present = printer.present;
  device.configFlags = printer.configFlags;
  std::lock_guard<std::mutex> guard(State().lock);
  AddDeviceLocked(std::move(device));
}

void AddInterface(const std::wstring& instanceId, const GUID& interfaceClass, const std::wstring& path) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (Device* device = FindDeviceLocked(instanceId)) device->interfaces.push_back(Interface{interfaceClass, path});
}

std::wstring InterfacePathOf(const std::wstring& instanceId) {
  std::lock_guard<std::mutex> guard(State().lock);
  Device* device = FindDeviceLocked(instanceId);
  return (device && !device->interfaces.empty()) ? device->interfaces.front().path : std::wstring();
}

void Attach(const std::wstring& instanceId, Attachment attachment) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (Device* device = FindDeviceLocked(instanceId)) device->attachment = std::move(attachment);
}

}  // namespace devices
}  // namespace host

using host::State;

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND, DWORD flags) {
  HOST_ENTER("SetupDiGetClassDevsW", INVALID_HANDLE_VALUE);
  bool allClasses = flags & DIGCF_ALLCLASSES;
  if (!classGuid && !allClasses) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::wstring prefix = (enumerator && *enumerator) ? host::UpperName(enumerator) + L"\\" : L"";
  std::lock_guard<std::mutex> guard(State().lock);
  host::DeviceSet set;
  for (size_t i = 0; i < State().devices.size(); ++i) {
    const host::Device& device = State().devices[i];
    if ((flags & DIGCF_PRESENT) && !device.present) continue;
    if (!prefix.empty() && host::UpperName(device.instanceId).rfind(prefix, 0) != 0) continue;
    bool member = allClasses;
    if (!member && (flags & DIGCF_DEVICEINTERFACE)) {
      for (const host::Interface& iface : device.interfaces) member = member || iface.interfaceClass == *classGuid;
    } else if (!member) {
      member = device.setupClass == *classGuid;
    }
    if (member) set.members.push_back(i);
  }
  return host::NewSetLocked(std::move(set));
}

HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND) {
  HOST_ENTER("SetupDiCreateDeviceInfoList", INVALID_HANDLE_VALUE);
  host::DeviceSet set;
  if (classGuid) set.setupClass = *classGuid;
  std::lock_guard<std::mutex> guard(State().lock);
  return host::NewSetLocked(std::move(set));
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  HOST_ENTER("SetupDiDestroyDeviceInfoList", FALSE);
  std::lock_guard<std::mutex> guard(State().lock);
  if (!State().sets.Remove(set)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA device) {
  HOST_ENTER("SetupDiEnumDeviceInfo", FALSE);
  if (!device) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(State().lock);
  host::DeviceSet* set = host::SetOfLocked(handle);
  if (!set) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (device->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (index >= set->members.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  host::FillDeviceLocked(device, index, State().devices[set->members[index]]);
  return TRUE;
}

BOOL WINAPI SetupDiOpenDeviceInfoW(HDEVINFO handle, PCWSTR instanceId, HWND, DWORD openFlags,
                                   PSP_DEVINFO_DATA device) {
  HOST_ENTER("SetupDiOpenDeviceInfoW", FALSE);
  std::lock_guard<std::mutex> guard(State().lock);
  host::DeviceSet* set = host::SetOfLocked(handle);
  if (!set) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!instanceId) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (device && device->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  // Devices that are not present are known too: they keep their registry entries.
  host::Device* found = host::FindDeviceLocked(instanceId);
  if (!found) {
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return FALSE;
  }
  if (set->setupClass && !(*set->setupClass == found->setupClass)) {
    SetLastError(host::kClassMismatch);
    return FALSE;
  }
  size_t index = static_cast<size_t>(found - State().devices.data());
  size_t member = 0;
  while (member < set->members.size() && set->members[member] != index) ++member;
  if (member == set->members.size()) set->members.push_back(index);
  if (device) host::FillDeviceLocked(device, member, *found);
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA device, PWSTR instanceId, DWORD size,
                                        PDWORD requiredSize) {
  HOST_ENTER("SetupDiGetDeviceInstanceIdW", FALSE);
  std::lock_guard<std::mutex> guard(State().lock);
  host::Device* found = host::DeviceOfLocked(set, device);
  if (!found) return FALSE;
  if (!instanceId && size > 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  DWORD needed = static_cast<DWORD>(found->instanceId.size() + 1);
  if (requiredSize) *requiredSize = needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::wmemcpy(instanceId, found->instanceId.c_str(), needed);
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              PDWORD type, PBYTE buffer, DWORD size, PDWORD requiredSize) {
  HOST_ENTER("SetupDiGetDeviceRegistryPropertyW", FALSE);
  std::lock_guard<std::mutex> guard(State().lock);
  host::Device* found = host::DeviceOfLocked(set, device);
  if (!found) return FALSE;
  if (property > 0x25) {
    SetLastError(ERROR_INVALID_REG_PROPERTY);
    return FALSE;
  }
  if (!buffer && size > 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  std::string bytes;
  DWORD valueType = REG_NONE;
  if (property == SPDRP_HARDWAREID && found->hardwareId) {
    // A multi-string: the ID, its terminator and the list's terminator.
    std::wstring list = *found->hardwareId + L'\0';
    bytes.assign(reinterpret_cast<const char*>(list.c_str()), (list.size() + 1) * sizeof(WCHAR));
    valueType = REG_MULTI_SZ;
  } else if (property == SPDRP_CONFIGFLAGS && found->configFlags) {
    DWORD flags = *found->configFlags;
    bytes.assign(reinterpret_cast<const char*>(&flags), sizeof flags);
    valueType = REG_DWORD;
  } else {
    // A property the device does not have.
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  if (type) *type = valueType;
  if (requiredSize) *requiredSize = static_cast<DWORD>(bytes.size());
  if (size < bytes.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, bytes.data(), bytes.size());
  return TRUE;
}

HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD hwProfile,
                                 DWORD keyType, REGSAM desired) {
  HOST_ENTER("SetupDiOpenDevRegKey", reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
  std::wstring path;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    host::Device* found = host::DeviceOfLocked(set, device);
    if (!found) return reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    if ((scope != DICS_FLAG_GLOBAL && scope != DICS_FLAG_CONFIGSPECIFIC) ||
        (keyType != DIREG_DEV && keyType != DIREG_DRV)) {
      SetLastError(ERROR_INVALID_FLAGS);
      return reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    // Only the hardware keys are modelled; driver keys do not exist.
    if (keyType == DIREG_DRV) {
      SetLastError(ERROR_KEY_DOES_NOT_EXIST);
      return reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    path = host::kEnumKey + found->instanceId + L"\\Device Parameters";
  }
  LSTATUS status = ERROR_SUCCESS;
  HKEY key = host::OpenMachineKey(path, &status);
  if (!key) {
    SetLastError(ERROR_KEY_DOES_NOT_EXIST);
    return reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
  }
  return key;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA device, const GUID* interfaceClass,
                                        DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData) {
  HOST_ENTER("SetupDiEnumDeviceInterfaces", FALSE);
  std::lock_guard<std::mutex> guard(State().lock);
  host::DeviceSet* set = host::SetOfLocked(handle);
  if (!set) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!interfaceClass || !interfaceData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  size_t first = 0;
  size_t last = set->members.size();
  if (device) {
    if (!host::DeviceOfLocked(handle, device)) return FALSE;
    first = device->Reserved - 1;
    last = first + 1;
  }
  DWORD seen = 0;
  for (size_t member = first; member < last; ++member) {
    const host::Device& candidate = State().devices[set->members[member]];
    for (size_t i = 0; i < candidate.interfaces.size(); ++i) {
      if (!(candidate.interfaces[i].interfaceClass == *interfaceClass)) continue;
      if (seen++ != index) continue;
      interfaceData->InterfaceClassGuid = *interfaceClass;
      interfaceData->Flags = candidate.present ? SPINT_ACTIVE : 0;
      interfaceData->Reserved = host::InterfaceKey(member, i);
      return TRUE;
    }
  }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return FALSE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                             PDWORD requiredSize, PSP_DEVINFO_DATA device) {
  HOST_ENTER("SetupDiGetDeviceInterfaceDetailW", FALSE);
  std::lock_guard<std::mutex> guard(State().lock);
  host::DeviceSet* set = host::SetOfLocked(handle);
  if (!set) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  size_t member = 0;
  const host::Interface* iface = host::InterfaceOfLocked(*set, interfaceData, &member);
  if (!iface) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((detail && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) || (!detail && detailSize > 0)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  DWORD needed =
      static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (iface->path.size() + 1) * sizeof(WCHAR));
  if (requiredSize) *requiredSize = needed;
  if (detailSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (device && device->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  std::memcpy(detail->DevicePath, iface->path.c_str(), (iface->path.size() + 1) * sizeof(WCHAR));
  if (device) host::FillDeviceLocked(device, member, State().devices[set->members[member]]);
  return TRUE;
}
