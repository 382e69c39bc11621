// A user-interface thread: a thread that runs its own windows' message loops (a modal dialog
// does). Start begins it; the object owns the thread handle and closes it when replaced or
// destroyed (which does not stop the thread).
#pragma once

#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace ui {

class UiThread {
 public:
  // Starts `procedure(parameter)` at normal priority with the default stack, not suspended,
  // default security. Any thread this object held before is let go. Returns false when the
  // thread could not be created (GetLastError tells why).
  bool Start(LPTHREAD_START_ROUTINE procedure, void* parameter);

  bool Started() const { return handle_.valid(); }
  HANDLE Handle() const { return handle_.get(); }

 private:
  platform::UniqueKernelHandle handle_;
};

}  // namespace ui
