// The simulated host's copy of the program's resources (only built for the simulated host).
#include <cstddef>

#include "host/resources.h"
#include "platform/program_resources.h"

// Generated from the compiled resource script (embed_file.cmake).
extern const unsigned char PROGRAM_RESOURCES[];
extern const size_t PROGRAM_RESOURCES_SIZE;

void RegisterProgramResources() { host::resources::SetProgramResources(PROGRAM_RESOURCES, PROGRAM_RESOURCES_SIZE); }
