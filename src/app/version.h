// The program's version, written here and nowhere else. Read by the resource scripts (windres
// runs the C preprocessor), by the C++ code and by the build (cmake/version.cmake parses the four
// defines below for the manifest, the tests and the release).
#pragma once

#define CORVEL_VERSION_MAJOR 1
#define CORVEL_VERSION_MINOR 2
#define CORVEL_VERSION_PATCH 0
#define CORVEL_VERSION_BUILD 6

#define CORVEL_STRINGIZE_(x) #x
#define CORVEL_STRINGIZE(x) CORVEL_STRINGIZE_(x)
#define CORVEL_WIDEN_(x) L##x
#define CORVEL_WIDEN(x) CORVEL_WIDEN_(x)

// "major.minor.patch.build": the digits and dots as one token sequence, so the text is one string
// literal.
#define CORVEL_VERSION_TEXT \
  CORVEL_STRINGIZE(CORVEL_VERSION_MAJOR.CORVEL_VERSION_MINOR.CORVEL_VERSION_PATCH.CORVEL_VERSION_BUILD)
#define CORVEL_VERSION_WTEXT CORVEL_WIDEN(CORVEL_VERSION_TEXT)
// The four numbers, comma-separated, for a VERSIONINFO's FILEVERSION and PRODUCTVERSION.
#define CORVEL_VERSION_COMMAS CORVEL_VERSION_MAJOR, CORVEL_VERSION_MINOR, CORVEL_VERSION_PATCH, CORVEL_VERSION_BUILD
