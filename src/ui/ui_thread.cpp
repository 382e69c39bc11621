#include "ui/ui_thread.h"

namespace ui {

bool UiThread::Start(LPTHREAD_START_ROUTINE procedure, void* parameter) {
  DWORD threadId = 0;
  handle_.reset(::CreateThread(nullptr, 0, procedure, parameter, 0, &threadId));
  return handle_.valid();
}

}  // namespace ui
