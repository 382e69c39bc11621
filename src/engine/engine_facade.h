// The engine facade (named FWDownload in its trace lines): what the user interface calls on the
// engine. Each operation but _DownloadFirmware first loads the engine context from the printer
// record values it is given, then runs the matching engine operation on that context.
#pragma once

#include <cstddef>
#include <cstdint>

// Size of the `out` buffers of Get1284String and BuildInfo (1024 bytes and a zero byte), and of
// GetVersionString.
constexpr size_t FACADE_INFO_BUFFER_SIZE = 1025;
constexpr size_t FACADE_VERSION_BUFFER_SIZE = 1024;

// The printer's IEEE 1284 device ID into `out` (FACADE_INFO_BUFFER_SIZE bytes). On USB and the
// parallel port `out` holds the payload as the printer sends it: a 2-byte big-endian length,
// then the text; on the network the text from the payload's second byte. Returns 1, 0 on
// failure, -1 when `type` is not a connection kind.
int32_t Get1284String(char* out, int32_t type, const wchar_t* deviceID, const wchar_t* InstanceID);
// The printer's build information text into `out` (FACADE_INFO_BUFFER_SIZE bytes), with the
// same results.
int32_t BuildInfo(char* out, int32_t type, const wchar_t* deviceID, const wchar_t* InstanceID);
// The printer's firmware version as text into `out` (FACADE_VERSION_BUFFER_SIZE bytes):
// "Unknown" when it cannot be read. Returns 1; 0 with `out` unchanged when `type` is not a
// connection kind.
int32_t GetVersionString(char* out, int32_t type, const wchar_t* deviceID, const wchar_t* InstanceID);
// Whether the image at `binFilePath` is newer than the printer's firmware: 0 not required;
// 1 required (also when the context cannot be loaded, so that the download goes ahead and
// reports its own failure); -1 when the image's version cannot be read.
int32_t DownloadRequired(int32_t type, const wchar_t* deviceID, const wchar_t* binFilePath, const wchar_t* InstanceID);
// Burns the image of the context, which the caller has loaded with its image path just before.
// Returns 1 on success, 0 on failure.
int32_t _DownloadFirmware();
