// Shared between the host's own implementation files.
#pragma once

#include <string>

#include "winhost/base.h"

namespace host {

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
