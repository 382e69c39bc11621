#include "support/program_resources.h"

#include <cstddef>

#include "host/resources.h"

// Generated from the compiled resource script (embed_file.cmake).
extern const unsigned char PROGRAM_RESOURCES[];
extern const size_t PROGRAM_RESOURCES_SIZE;

void RegisterProgramResources() { host::resources::SetProgramResources(PROGRAM_RESOURCES, PROGRAM_RESOURCES_SIZE); }
