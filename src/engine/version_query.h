// Asks the printer of the engine context for its firmware version over its channel, and
// decides whether the context's firmware image is newer.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Attempts of a local version query, and the pause after a failed one.
constexpr int LOCAL_VERSION_ATTEMPTS = 3;
constexpr DWORD LOCAL_VERSION_RETRY_MS = 1000;

// The version on an open USB device handle, or 0.
int32_t GetUSBFWVersion(HANDLE device);
// The version on the parallel port: the request is written on `port` (open for reading and
// writing), the reply read on a read-only handle of its own. Closes `port` on every path.
// Returns the version, or 0.
int32_t GetPrllFWVersion(HANDLE port);

// The printer's version over the context's channel, or -1 when it cannot be read.
int32_t _GetVersionFW();
// What the last _GetVersionFW of this process returned (-1 before the first): lets a caller of
// _DownLoadRequired tell a printer that is current from one that did not answer.
int32_t LastFirmwareVersion();
// 1 when the image of the context is newer than the printer's firmware, 0 when not (or the
// printer's version cannot be read), -1 when the image's version cannot be read.
int32_t _DownLoadRequired();
