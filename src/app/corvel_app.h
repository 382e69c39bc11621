// The application object: prepares the trace log and runs the program.
#pragma once

#include "platform/win32.h"

class CcorvelApp {
 public:
  // The whole start-up. Returns FALSE, so that the program ends once it returns.
  BOOL InitInstance();
};
