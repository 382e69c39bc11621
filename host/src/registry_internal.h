// Shared between the host's registry and the areas that hand out registry keys of their own
// (SetupAPI's device keys).
#pragma once

#include <string>

#include "winhost/registry.h"

namespace host {

// Opens an existing key below HKEY_LOCAL_MACHINE as a new key handle (counted as open until
// RegCloseKey). On failure returns null and stores the status in `status`.
HKEY OpenMachineKey(const std::wstring& path, LSTATUS* status);

}  // namespace host
