// What the main dialog and the download workflow find out about an installed printer before
// asking the engine: its USB match text and the address of its device.
#pragma once

#include <cstddef>

#include "engine/engine_context.h"

// Device addresses travel in buffers of this many characters.
constexpr size_t DEVICE_ADDRESS_CHARS = 256;

// The USB hardware match text of the printer's model, chosen by its name.
const wchar_t* UsbMatchText(const wchar_t* printerName);

// The address the engine needs for the printer, into `address` (DEVICE_ADDRESS_CHARS): USB, the
// instance ID of the USB device behind its port; network, the IP address behind its port,
// resolved when the port holds a host name; parallel, nothing (`address` stays as it is).
// Returns false when the USB device or the port's address cannot be found; `address` then
// holds whatever the lookup left in it.
bool FindDeviceAddress(ConnectionKind kind, const wchar_t* printerName, wchar_t* address);

// `text` in the system ANSI code page into `ansi` (`bytes` bytes). False, with `ansi` empty,
// when the text does not fit or a character has no exact counterpart there.
bool ToAnsiText(const wchar_t* text, char* ansi, size_t bytes);
