#include "app/corvel_app.h"

#include "diag/diag_log.h"

BOOL CcorvelApp::InitInstance() {
  // First use of the trace log: it is created here, on the user-interface thread, before any
  // other thread exists.
  DiagLog::SetPrefix(L"CORVL");
  DiagLog::SetCaption(L"Firmware Download Utility");
  DiagLog::Write(L"InitInstance()");
  return FALSE;
}
