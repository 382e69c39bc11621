#include "app/single_instance.h"

namespace {

const wchar_t kInstanceMutex[] = L"TVQ5530CORVLexists";

}  // namespace

platform::UniqueKernelHandle TakeInstanceMutex(bool& alreadyRunning) {
  ::SetLastError(ERROR_SUCCESS);
  platform::UniqueKernelHandle instance(::CreateMutexW(nullptr, TRUE, kInstanceMutex));
  alreadyRunning = ::GetLastError() == ERROR_ALREADY_EXISTS;
  if (alreadyRunning) instance.reset();
  return instance;
}
