// Flash burning: writes the firmware image named in the engine context into the printer's flash
// over the context's channel. Each burn sends ACLCMD_BURN_FLASH with the image's length and
// checksum, then the whole image; the USB and network burns wait for the printer's reply.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Download status (dwStatus) of DownLoadNewFW: 0 for success, otherwise why it failed.
constexpr int32_t DOWNLOAD_STATUS_SUCCESS = 0;
constexpr int32_t DOWNLOAD_STATUS_ACCEPTED = 4545;  // also taken as success
constexpr int32_t BURN_STATUS_NO_MEMORY = 8;        // no memory for the image
constexpr int32_t BURN_STATUS_FAILED = 325;         // the burn failed
// The USB device or the parallel port did not open (the port's own error code when it has one).
constexpr int32_t DOWNLOAD_STATUS_NO_DEVICE = ERROR_DEV_NOT_EXIST;
// The print spooler could not be stopped or started before the parallel port was opened.
constexpr int32_t DOWNLOAD_STATUS_SPOOLER = ERROR_SERVICE_REQUEST_TIMEOUT;

// Flash targets of the burn command: 4 for images of file type 1, 3 for file type 2 (USB and
// network); the parallel burn always announces 3.
constexpr uint16_t FLASH_TARGET_TYPE1 = 4;
constexpr uint16_t FLASH_TARGET_TYPE2 = 3;
constexpr uint16_t FLASH_TARGET_PARALLEL = 3;
uint16_t FlashTargetOf(int32_t fileType);

// Called once per burn with the image's bytes as they were read, before any of them is sent
// (the command line records what it burns). None is set by default.
using ImageReadHook = void (*)(const uint8_t* bytes, DWORD size, void* context);
void SetImageReadHook(ImageReadHook hook, void* context);

// Burns the image at the context's binFilePath into the context's printer. Returns the status:
// 0 success, a system error code when the image does not open, another nonzero value when the
// download failed.
int32_t DownLoadNewFW();

// The USB burn on an open device handle with an open image file: 0 when the printer accepted the
// image, BURN_STATUS_NO_MEMORY or BURN_STATUS_FAILED.
int BurnFlashUSBPort(HANDLE device, HANDLE image, uint16_t target);
// The parallel burn on the port (open for writing), always with target 3; no reply is read.
// Returns 0 when the whole image was written, else BURN_STATUS_FAILED.
int BurnFlashPrllPort(HANDLE port, HANDLE image);
// The network burn on the context's ipAddress: true when the printer accepted the image.
bool NetBurnFlash(HANDLE image, uint16_t target);
