// VerifyVersionInfoW and VerSetConditionMask against the version a test gives the machine.
#include <mutex>

#include "host/machine.h"
#include "host/os_version.h"
#include "internal.h"
#include "winhost/kernel.h"
#include "winhost/sysinfo.h"

namespace host {
namespace os {
namespace {

struct Version {
  DWORD major = 6;
  DWORD minor = 1;
  WORD servicePackMajor = 1;
  WORD servicePackMinor = 0;
};

std::mutex g_lock;
Version g_version;

const bool g_registered = [] {
  RegisterArea(Area{"os version", [] {
                      std::lock_guard<std::mutex> guard(g_lock);
                      g_version = Version{};
                    },
                    nullptr});
  return true;
}();

}  // namespace

void SetVersion(DWORD major, DWORD minor, WORD servicePackMajor, WORD servicePackMinor) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_version = Version{major, minor, servicePackMajor, servicePackMinor};
}

}  // namespace os
}  // namespace host

namespace {

// Position of a field's 3 condition bits in the mask: the index of its type bit times 3.
int ConditionShift(DWORD typeBit) {
  int index = 0;
  while (typeBit > 1) {
    typeBit >>= 1;
    ++index;
  }
  return index * 3;
}

BYTE ConditionOf(ULONGLONG mask, DWORD typeBit) { return static_cast<BYTE>((mask >> ConditionShift(typeBit)) & 7); }

bool Holds(DWORD actual, DWORD wanted, BYTE condition) {
  switch (condition) {
    case VER_EQUAL: return actual == wanted;
    case VER_GREATER: return actual > wanted;
    case VER_GREATER_EQUAL: return actual >= wanted;
    case VER_LESS: return actual < wanted;
    case VER_LESS_EQUAL: return actual <= wanted;
    default: return false;
  }
}

}  // namespace

ULONGLONG WINAPI VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition) {
  condition &= 7;
  if (condition == 0) return conditionMask;
  for (DWORD bit = 1; bit != 0 && bit <= 0x80; bit <<= 1) {
    if (typeMask & bit) conditionMask |= static_cast<ULONGLONG>(condition) << ConditionShift(bit);
  }
  return conditionMask;
}

BOOL WINAPI VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask, ULONGLONG conditionMask) {
  HOST_ENTER("VerifyVersionInfoW", FALSE);
  if (!info || typeMask == 0 || conditionMask == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  host::os::Version version;
  {
    std::lock_guard<std::mutex> guard(host::os::g_lock);
    version = host::os::g_version;
  }
  // The version numbers form one hierarchy: a later field decides only while the earlier ones
  // are equal, so 6.0 meets "5.1 or later" although its minor number is smaller.
  const struct {
    DWORD bit;
    DWORD actual;
    DWORD wanted;
  } fields[] = {
      {VER_MAJORVERSION, version.major, info->dwMajorVersion},
      {VER_MINORVERSION, version.minor, info->dwMinorVersion},
      {VER_SERVICEPACKMAJOR, version.servicePackMajor, info->wServicePackMajor},
      {VER_SERVICEPACKMINOR, version.servicePackMinor, info->wServicePackMinor},
  };
  bool met = true;
  for (const auto& field : fields) {
    if (!(typeMask & field.bit)) continue;
    BYTE condition = ConditionOf(conditionMask, field.bit);
    if (condition == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    met = Holds(field.actual, field.wanted, condition);
    if (field.actual != field.wanted) break;
  }
  if (!met) {
    SetLastError(ERROR_OLD_WIN_VERSION);
    return FALSE;
  }
  return TRUE;
}
