// The test-facing control of the simulated registry: keys below HKEY_LOCAL_MACHINE and their
// values. Paths are written without the root ("SYSTEM\CurrentControlSet\Enum\USB\...") and match
// without regard to case, as on Windows. A fresh machine has an empty registry.
#pragma once

#include <string>

#include "winhost/base.h"

namespace host {
namespace registry {

// Creates a key and every missing key above it.
void CreateKey(const std::wstring& path);
// Sets a value with its type and raw bytes, creating the key when needed.
void SetValue(const std::wstring& path, const std::wstring& name, DWORD type, const std::string& bytes);
// A REG_SZ value: the text and its terminator.
void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text);
void SetDword(const std::wstring& path, const std::wstring& name, DWORD value);
void DeleteValue(const std::wstring& path, const std::wstring& name);

}  // namespace registry
}  // namespace host
