// The one include point for operating-system services. On Windows it is the SDK; elsewhere the
// simulated host, which declares the same functions, types and constants.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// Types of the IP helper (its entry points are looked up at run time, not linked).
#include <iphlpapi.h>
#include <winsvc.h>
// CryptoAPI: WIN32_LEAN_AND_MEAN keeps it out of windows.h.
#include <wincrypt.h>
#include <winspool.h>
#include <setupapi.h>
// The device class and interface identifiers are defined (not only declared) here.
#include <initguid.h>
#include <devguid.h>
#include <usbprint.h>
// The user interface: common controls, COM and the shell's taskbar list.
#include <commctrl.h>
#include <objbase.h>
#include <shobjidl.h>
#else
#include "winhost/win32.h"
#endif
