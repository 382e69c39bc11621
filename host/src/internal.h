// Shared between the host's own implementation files.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "winhost/base.h"
#include "winhost/kernel.h"

namespace host {

// An area of the host (files, registry, spooler, ...) registers how it is reset and how it
// lists what the program still holds open ("printer handle 0x... (\"Name\")").
struct Area {
  std::string name;
  std::function<void()> reset;
  std::function<std::vector<std::string>()> listOpen;
};
void RegisterArea(Area area);

// Used by every host implementation on entry: counts the call and, when a fault is due,
// stores its error in `error` and returns true.
bool CallFails(const char* api, DWORD* error);

UINT AnsiCodePage();
DWORD CurrentThreadId();

// The process the calling thread belongs to (GetCurrentProcessId). Threads the host starts
// inherit their creator's; host::process::RunAsProcess gives a thread a new one.
void SetCurrentProcessId(DWORD id);
// What ends with a thread the host started, before its handle is signalled: its windows, its
// message queue and its timers.
void EndThreadState();

namespace resources {
// The module handle of the program itself (GetModuleHandleW(nullptr)).
HMODULE ProgramModule();
}  // namespace resources

// Text conversions used inside the host (not the program's MultiByteToWideChar).
std::string Utf8Of(const std::wstring& text);
std::wstring WideOfUtf8(const std::string& text);

// Case-insensitive comparison of Windows names (ASCII and Latin-1 letters).
bool NamesEqual(const std::wstring& a, const std::wstring& b);
std::wstring UpperName(const std::wstring& text);

}  // namespace host

// Fails the surrounding host function when a fault is due: sets the last error and returns
// `failValue`.
#define HOST_ENTER(api, failValue)                  \
  do {                                              \
    DWORD hostFaultError_ = 0;                      \
    if (::host::CallFails(api, &hostFaultError_)) { \
      ::SetLastError(hostFaultError_);              \
      return failValue;                             \
    }                                               \
  } while (0)
