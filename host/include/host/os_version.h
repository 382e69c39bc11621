// Test-facing control of the simulated machine's operating-system version (6.1 service pack 1.0
// on a fresh machine).
#pragma once

#include "winhost/base.h"

namespace host {
namespace os {

// The version VerifyVersionInfoW compares with.
void SetVersion(DWORD major, DWORD minor, WORD servicePackMajor, WORD servicePackMinor);

}  // namespace os
}  // namespace host
