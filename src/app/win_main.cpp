// Entry point of the Windows program.
#include "app/corvel_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  CcorvelApp app;
  app.InitInstance();
  return 0;
}
