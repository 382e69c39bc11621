// The resources of the program's own module (GetModuleHandleW(nullptr), or a null instance):
// what the resource compiler made of the program's resource script, as a standard .res file
// (windres -O res). Dialogs, icons and version information are found there by FindResourceW,
// DialogBoxParamW and LoadIconW. The resources stay across host::ResetMachine().
#pragma once

#include <cstddef>
#include <string>

#include "winhost/base.h"

namespace host {
namespace resources {

// Replaces the program's resources with those of a .res file (a sequence of RESOURCEHEADER
// records, each 32-bit aligned). False, leaving no resources, when the bytes are not a
// well-formed .res file. A null file clears them.
bool SetProgramResources(const void* resFile, size_t size);

// The number of resources the program's module has (for tests of the parser).
size_t ProgramResourceCount();

}  // namespace resources
}  // namespace host
