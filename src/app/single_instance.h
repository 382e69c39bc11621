// One copy at a time: the dialog and corvelcmd take the same named mutex.
#pragma once

#include "platform/unique_handle.h"

// Creates the mutex "TVQ5530CORVLexists", owned. When another process holds it already the
// result is empty and `alreadyRunning` true. A mutex that cannot be created for another reason
// gives an empty result too, with `alreadyRunning` false: the program then runs without the guard.
platform::UniqueKernelHandle TakeInstanceMutex(bool& alreadyRunning);
