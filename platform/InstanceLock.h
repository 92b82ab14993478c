// The single-instance check. The first process to call AcquireInstanceLock
// holds a named lock until it ends; a later process is told it is already
// running. The operating system drops the lock when the holder dies, so a
// crash never blocks the next start.
#pragma once

#include <string>

namespace platform {

// The lock's name; on Windows it is the named mutex of the same name.
inline constexpr const char* kInstanceLockName = "Global\\{TARNWICK_EXE_RUNNING1}";
// Windows' ERROR_ALREADY_EXISTS, which callers compare with.
inline constexpr unsigned long kErrorAlreadyExists = 183;

// Returns 0 when this process now holds the lock, kErrorAlreadyExists when
// another process holds it. Calling it again in the holder returns 0. When
// the lock file cannot be made at all the check is skipped and 0 returned:
// refusing to start would be worse than a second copy.
unsigned long AcquireInstanceLock();
void ReleaseInstanceLock();
// Where the lock lives: $XDG_RUNTIME_DIR, else /tmp, with a per-user name.
std::string InstanceLockPath();

}  // namespace platform
