// The device-installation service (SetupAPI) of the simulated host: device information sets over
// the machine's device tree, device properties, device interfaces and the devices' hardware keys.
// Structures keep the SDK's 64-bit layout; each call checks cbSize against sizeof as Windows does.
#pragma once

#include "winhost/base.h"
#include "winhost/guiddef.h"
#include "winhost/registry.h"

typedef PVOID HDEVINFO;

#define ANYSIZE_ARRAY 1

typedef struct _SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_W {
  DWORD cbSize;
  WCHAR DevicePath[ANYSIZE_ARRAY];
} SP_DEVICE_INTERFACE_DETAIL_DATA_W, *PSP_DEVICE_INTERFACE_DETAIL_DATA_W;

// SetupDiGetClassDevsW flags.
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_DEVICEINTERFACE 0x00000010

// Interface flags.
#define SPINT_ACTIVE 0x00000001

// Device registry properties.
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_CONFIGFLAGS 0x0000000A

// SetupDiOpenDevRegKey scope and key type.
#define DICS_FLAG_GLOBAL 0x00000001
#define DICS_FLAG_CONFIGSPECIFIC 0x00000002
#define DIREG_DEV 0x00000001
#define DIREG_DRV 0x00000002

#ifndef ERROR_INVALID_USER_BUFFER
#define ERROR_INVALID_USER_BUFFER 1784L
#endif
// Device-installation errors carry the three top bits.
#define ERROR_KEY_DOES_NOT_EXIST ((DWORD)0xE0000204)
#define ERROR_INVALID_REG_PROPERTY ((DWORD)0xE0000209)
#define ERROR_NO_SUCH_DEVINST ((DWORD)0xE000020B)

// The USB printer device interface and the Printer setup class.
inline constexpr GUID GUID_DEVINTERFACE_USBPRINT = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
inline constexpr GUID GUID_DEVCLASS_PRINTER = {
    0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent);
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);
BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device);
BOOL WINAPI SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instanceId, HWND parent, DWORD openFlags,
                                   PSP_DEVINFO_DATA device);
BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA device, PWSTR instanceId, DWORD size,
                                        PDWORD requiredSize);
BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              PDWORD type, PBYTE buffer, DWORD size, PDWORD requiredSize);
// The device's hardware key (DIREG_DEV) is HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\<instance
// ID>\Device Parameters; INVALID_HANDLE_VALUE on failure.
HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD hwProfile,
                                 DWORD keyType, REGSAM desired);
// With a device record, only that device's interfaces are enumerated; without one, the whole set's.
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* interfaceClass,
                                        DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData);
BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                             PDWORD requiredSize, PSP_DEVINFO_DATA device);
