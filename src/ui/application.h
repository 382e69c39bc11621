// The application object: the program's start-up lives in InitInstance. Run calls it and, when
// it returns TRUE, runs the thread's message loop until WM_QUIT. A dialog program returns
// FALSE, so the program ends when its modal dialog has ended.
#pragma once

#include "platform/win32.h"

namespace ui {

class Application {
 public:
  virtual ~Application() = default;
  virtual BOOL InitInstance() = 0;
  // Returns the program's exit code.
  int Run();
};

}  // namespace ui
