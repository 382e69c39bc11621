#include "app/corvel_app.h"

#include "app/dll_search_path.h"
#include "app/printer_list.h"
#include "app/single_instance.h"
#include "diag/diag_log.h"

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
  bool alreadyRunning = false;
  platform::UniqueKernelHandle instance = TakeInstanceMutex(alreadyRunning);
  if (alreadyRunning) {
    DiagLog::ShowMessage(MB_ICONERROR, L"Another instance of this program is already running.");
    return FALSE;
  }

  CPrinterList dialog;
  dialog.DoModal();
  if (instance) ::ReleaseMutex(instance.get());
  instance.reset();
  return FALSE;
}
