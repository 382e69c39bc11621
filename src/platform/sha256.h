// SHA-256 of a block of bytes by Windows' own CryptoAPI (the AES provider in a verify context).
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace platform {

struct Sha256Result {
  std::string hex;                   // 64 lower-case hex digits; empty when a call failed
  const wchar_t* failedCall = nullptr;  // the call that failed, for the trace
  DWORD error = 0;                   // its GetLastError
};

Sha256Result Sha256Of(const uint8_t* bytes, DWORD size);

}  // namespace platform
