// The application object: prepares the common controls and the trace log, makes sure that one
// copy of the program runs, and runs the main dialog modally. The program ends with the dialog.
#pragma once

#include "platform/win32.h"
#include "ui/application.h"

class CcorvelApp : public ui::Application {
 public:
  // The whole start-up. Returns FALSE, so that the program ends once it returns.
  BOOL InitInstance() override;
};
