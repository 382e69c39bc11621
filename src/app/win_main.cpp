// Entry point of the Windows program.
#include "app/corvel_app.h"

namespace {

// The application object, created before the entry point runs.
CcorvelApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return theApp.Run(); }
