// The program's compiled resources (dialogs, icon, version information, manifest) for the
// simulated host. The Windows program carries them in its file; natively the build compiles the
// same script into an array (library corvel_host_resources), which the tests hand to the host so
// that it creates the dialogs from them.
#pragma once

// Makes the array the program module's resources on the simulated host.
void RegisterProgramResources();
