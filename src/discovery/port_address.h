// The address behind a network printer's port: asked of the port's monitor through the
// spooler's port-monitor data channel, or read from the monitor's settings in the registry.
// Free functions over the caller's buffer; nothing is kept between calls.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// The caller's address buffer, in characters, and how many bytes of it either source may fill.
constexpr size_t PORT_ADDRESS_CHARS = 256;
constexpr DWORD PORT_ADDRESS_BYTES = 256;

// The address text behind `portName` into `address` (PORT_ADDRESS_CHARS characters): the port
// monitor's answer when it is a valid IP address, else the port's "IPAddress" registry value,
// handed back unchanged (it may be a host name). Returns 1, or 0 when neither gave a text.
int GetIPAddressViaPortname(const wchar_t* portName, wchar_t* address);

// Asks the port's monitor for "IPAddress" into `address`, whose `size` bytes are cleared first.
// Returns 1 when the monitor answered with success and a terminated text, 0 otherwise.
int GetIPAddressViaXcvData(const wchar_t* portName, wchar_t* address, DWORD size);
