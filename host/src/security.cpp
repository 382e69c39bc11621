// The process token: opened from the current process, asked for its elevation.
#include <atomic>
#include <memory>
#include <string>

#include "host/console.h"
#include "host/kernel_objects.h"
#include "host/machine.h"
#include "internal.h"
#include "winhost/console.h"
#include "winhost/kernel.h"

namespace host {
namespace console {
namespace {

std::atomic<bool> g_elevated{true};

const bool g_registered = [] {
  RegisterArea(Area{"process token", [] { g_elevated = true; }, nullptr});
  return true;
}();

class Token : public KernelObject {
 public:
  explicit Token(DWORD access) : access_(access) {}
  std::string Describe() const override { return "process token"; }
  DWORD Access() const { return access_; }

 private:
  DWORD access_;
};

}  // namespace

void SetElevated(bool elevated) { g_elevated = elevated; }

}  // namespace console
}  // namespace host

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) {
  HOST_ENTER("OpenProcessToken", FALSE);
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *token = host::NewHandle(std::make_shared<host::console::Token>(desiredAccess));
  return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length,
                                PDWORD returnLength) {
  HOST_ENTER("GetTokenInformation", FALSE);
  auto object = host::ObjectAs<host::console::Token>(token);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(object->Access() & TOKEN_QUERY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (infoClass != TokenElevation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *returnLength = sizeof(TOKEN_ELEVATION);
  if (length < sizeof(TOKEN_ELEVATION)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  static_cast<TOKEN_ELEVATION*>(info)->TokenIsElevated = host::console::g_elevated ? 1 : 0;
  return TRUE;
}
