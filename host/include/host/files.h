// The simulated machine's file system. Drive letters map onto folders of the host; a fresh
// machine has drive C: on a new temporary folder. Names are matched without regard to case,
// as on Windows.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "winhost/base.h"

namespace host {

class KernelObject;

// Host path for a Windows path ("C:\a\b.bin" -> "<drive C folder>/a/b.bin"), existing
// components matched without regard to case; empty when the drive is not mapped.
std::string HostPathOf(const std::wstring& windowsPath);
// Writes a file at a Windows path, creating its folders.
void WriteFile(const std::wstring& windowsPath, const std::string& bytes);
std::string ReadFile(const std::wstring& windowsPath);
// Sets a file's attributes as SetFileAttributesW does (e.g. FILE_ATTRIBUTE_READONLY).
void SetAttributes(const std::wstring& windowsPath, DWORD attributes);

// The program's own path as GetModuleFileNameW(NULL, ...) reports it.
void SetModuleFileName(const std::wstring& path);
// The current folder, for GetCurrentDirectory and the loader's search.
void SetCurrentDirectory(const std::wstring& path);

// Opening a device path ("\\.\NAME" or "\\?\...") asks the registered openers in turn.
struct DeviceOpen {
  bool handled = false;                   // the opener knows this path
  std::shared_ptr<KernelObject> object;   // the opened device, or null with `error`
  DWORD error = 0;
};
using DeviceOpener = std::function<DeviceOpen(const std::wstring& path, DWORD access, DWORD share,
                                              DWORD creation, DWORD flags)>;
// Registers an opener for the life of the machine (until the next ResetMachine).
void RegisterDeviceOpener(DeviceOpener opener);

}  // namespace host
