// The local device channels: the USB printer device and the non-spooled parallel port, both
// opened as device files for overlapped operation. WriteData and ReadData move at most
// LOCAL_TRANSFER_LIMIT bytes per call, each bounded by a wait on a completion event; a
// transfer that does not complete in time is cancelled and fails.
#pragma once

#include <cstddef>

#include "platform/win32.h"

constexpr DWORD LOCAL_TRANSFER_LIMIT = 512;
constexpr DWORD WRITE_DATA_TIMEOUT_MS = 10000;

// The non-spooled parallel port.
extern const wchar_t PARALLEL_PORT_PATH[];

// Writes up to 512 bytes of `buffer`. Returns the number of bytes written, or -1.
int WriteData(HANDLE handle, const void* buffer, DWORD count);
// Writes `length` bytes (at most 512) with WriteData; true when all were written.
bool WriteAllData(HANDLE handle, const void* data, size_t length);
// Reads up to 512 bytes into `buffer`, waiting at most `timeoutMs`. Returns the number of bytes
// read (0 allowed), or -1.
int ReadData(HANDLE handle, void* buffer, DWORD count, DWORD timeoutMs);

// Opens the parallel port for reading and writing (sharing read and write), or for reading only
// (sharing read). INVALID_HANDLE_VALUE with the system's error on failure.
HANDLE OpenParallelPortReadWrite();
HANDLE OpenParallelPortForReading();

// Restarts the print spooler, which would otherwise hold the parallel port: waits
// `beforeStopMs`, stops it, waits 1000 ms, starts it. False after a logged failure.
bool RestartSpoolerForPort(DWORD beforeStopMs);
// Opens the parallel port for reading and writing; a failure is logged with `failureFormat`
// (one %d, the system's error code).
HANDLE OpenParallelPortLogged(const wchar_t* failureFormat);
// The parallel port for one of the engine's exchanges: the spooler restarted 2000 ms from now,
// then after 2000 ms more the port opened as OpenParallelPortLogged does. INVALID_HANDLE_VALUE
// after a logged failure of either.
HANDLE OpenParallelPortAfterSpoolerRestart(const wchar_t* failureFormat);
