#include "platform/Version.h"

// Only this file is compiled with the version, so a new version rebuilds
// one object, not the program.
#ifndef TARNWICK_VERSION
#error "TARNWICK_VERSION is set by platform/CMakeLists.txt"
#endif

namespace platform {

const char* ProgramVersion() { return TARNWICK_VERSION; }

}  // namespace platform
