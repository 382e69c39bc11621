// The program's compiled resources (dialogs, icon, version information, manifest). The Windows
// program carries them in its file; on the simulated host they are compiled from the same
// script into an array and handed to the host, which creates the dialogs from them.
#pragma once

// Hands the resources to the simulated host as the program module's resources. Defined only
// for the simulated host; the Windows program needs no call.
void RegisterProgramResources();
