// The program's version: one number for the wizard, tarnwick-cli, nsftool
// and the Debian package, set once in the top CMakeLists.txt.
#pragma once

namespace platform {

// "MAJOR.MINOR.PATCH", e.g. "1.0.0". A static string; safe from any thread.
const char* ProgramVersion();

}  // namespace platform
