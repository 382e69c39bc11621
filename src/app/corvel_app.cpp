#include "app/corvel_app.h"

#include "app/dll_search_path.h"
#include "app/printer_list.h"
#include "diag/diag_log.h"
#include "platform/unique_handle.h"

namespace {

const wchar_t kInstanceMutex[] = L"TVQ5530CORVLexists";

}  // namespace

BOOL CcorvelApp::InitInstance() {
  // Before anything loads a library.
  RestrictDllSearchPath();

  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  ::InitCommonControlsEx(&controls);

  // First use of the trace log: it is created here, on the user-interface thread, before any
  // other thread exists.
  DiagLog::SetPrefix(L"CORVL");
  DiagLog::SetCaption(L"Firmware Download Utility");
  DiagLog::Write(L"InitInstance()");

  // One copy at a time. A mutex that cannot be created for another reason does not stop the
  // program: it runs without the guard.
  ::SetLastError(ERROR_SUCCESS);
  platform::UniqueKernelHandle instance(::CreateMutexW(nullptr, TRUE, kInstanceMutex));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    instance.reset();
    DiagLog::ShowMessage(MB_ICONERROR, L"Another instance of this program is already running.");
    return FALSE;
  }

  CPrinterList dialog;
  dialog.DoModal();
  if (instance) ::ReleaseMutex(instance.get());
  instance.reset();
  return FALSE;
}
