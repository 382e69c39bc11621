// The console the program runs in, and its process token, as a test shapes them.
#pragma once

#include "winhost/base.h"

namespace host {
namespace console {

// Sends a console control event (CTRL_C_EVENT, ...) to the program as Windows does: on a thread
// of its own, the handlers run from the last added on until one returns TRUE. Returns once the
// handlers have run: true when one handled it; false when the default handler would have ended
// the process (the host records it instead: DefaultHandlerRuns).
bool SendCtrlEvent(DWORD ctrlType);
// How often an event reached the default handler since the machine was reset.
int DefaultHandlerRuns();

// Whether the standard input is a console (default: redirected, as under a test runner).
void SetInputIsConsole(bool console);

// Whether the process token is elevated (default: elevated).
void SetElevated(bool elevated);

}  // namespace console
}  // namespace host
