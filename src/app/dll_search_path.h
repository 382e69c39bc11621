// Where the program's libraries may be loaded from.
#pragma once

// Restricts the library search path to the system directory, so that a DLL planted beside the
// program or in the current directory is never loaded. Call before anything loads a library.
// Uses SetDefaultDllDirectories where the system has it, else takes the current directory out
// of the search (SetDllDirectoryW with an empty text). Returns false when neither is there.
bool RestrictDllSearchPath();
