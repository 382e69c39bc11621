// Where the program's libraries may be loaded from.
#pragma once

// Restricts the library search path to the system directory, so that a DLL planted beside the
// program or in the current directory is never loaded. Call before anything loads a library.
// What the program imports is loaded before this runs: only Windows' known DLLs, which come from
// the system directory whatever the search path, and COMCTL32, which the manifest's side-by-side
// assembly supplies (the corvel.imports test checks the import table). The spooler, which is not
// a known DLL, is loaded at run time from the system directory (platform/spooler_library.h).
// Uses SetDefaultDllDirectories where the system has it, else takes the current directory out
// of the search (SetDllDirectoryW with an empty text). Returns false when neither is there.
bool RestrictDllSearchPath();
