#include "platform/InstanceLock.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CreateNew.h"

namespace platform {

namespace {
int g_lockFd = -1;
}

std::string InstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string dir = (runtime && *runtime) ? runtime : "/tmp";
  // The Windows name has characters a file name should not carry; keep its
  // identity, and add the user id where the folder is shared by all users.
  dir += "/TARNWICK_EXE_RUNNING1";
  if (!(runtime && *runtime)) {
    dir += '-';
    dir += std::to_string(::getuid());
  }
  dir += ".lock";
  return dir;
}

unsigned long AcquireInstanceLock() {
  if (g_lockFd >= 0) return 0;
  const std::string path = InstanceLockPath();
  // The lock file of an earlier run is used only when it is ours: in a
  // shared /tmp another user could plant one and hold it locked.
  int fd = OpenOwnRegularFile(path, O_RDWR);
  if (fd < 0 && errno == ENOENT) fd = CreateNewFile(path, Access::ownerOnly, 0600, O_RDWR);
  if (fd < 0 && errno == EEXIST) fd = OpenOwnRegularFile(path, O_RDWR);  // made meanwhile
  if (fd < 0) return 0;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return kErrorAlreadyExists;
  }
  g_lockFd = fd;
  return 0;
}

void ReleaseInstanceLock() {
  if (g_lockFd >= 0) {
    ::close(g_lockFd);
    g_lockFd = -1;
  }
}

}  // namespace platform
