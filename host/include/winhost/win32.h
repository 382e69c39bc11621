// The Win32 interface of the simulated host: what the program sees in place of the Windows SDK.
#pragma once

#include "winhost/base.h"
#include "winhost/crt.h"
#include "winhost/fileio.h"
#include "winhost/kernel.h"
#include "winhost/process.h"
#include "winhost/winsvc.h"
#include "winhost/winsock.h"
#include "winhost/ws2tcpip.h"
#include "winhost/libraries.h"
#include "winhost/sysinfo.h"
#include "winhost/registry.h"
#include "winhost/setupapi.h"
#include "winhost/winspool.h"
#include "winhost/user32.h"
#include "winhost/commctrl.h"
#include "winhost/objbase.h"
