#include "platform/CreateNew.h"

#include <cerrno>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::mutex g_observerMutex;
CreationObserver g_observer;  // guarded by g_observerMutex

mode_t CurrentUmask() {
  // umask can only be read by setting it; the lock keeps two readers from
  // seeing each other's temporary value.
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  const mode_t mask = ::umask(077);
  ::umask(mask);
  return mask;
}

mode_t ModeFor(Access access, mode_t sourceMode, bool bFolder) {
  if (access == Access::ownerOnly) return bFolder ? 0700 : 0600;
  return sourceMode & 07777 & ~CurrentUmask();
}

void Report(const std::string& path, bool bFolder, mode_t mode) {
  std::lock_guard lock(g_observerMutex);
  if (g_observer) g_observer(path, bFolder, mode);
}

}  // namespace

int CreateNewFile(const std::string& path, Access access, mode_t sourceMode, int flags) {
  if ((flags & O_ACCMODE) == O_RDONLY) flags |= O_WRONLY;
  const mode_t mode = ModeFor(access, sourceMode, false);
  // Created 0600 first: nobody else can open it before its mode is final.
  const int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (::fchmod(fd, mode) != 0) {
    const int saved = errno;
    ::close(fd);
    ::unlink(path.c_str());
    errno = saved;
    return -1;
  }
  Report(path, false, mode);
  return fd;
}

bool CreateNewDirectory(const std::string& path, Access access, mode_t sourceMode) {
  const mode_t mode = ModeFor(access, sourceMode, true);
  if (::mkdir(path.c_str(), 0700) != 0) return false;
  // mkdir never follows a link at the name, and the chmod goes through a
  // descriptor of the folder just made, so a swapped name is never changed.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool bOk = ::fchmod(fd, mode) == 0;
  const int saved = errno;
  ::close(fd);
  errno = saved;
  if (bOk) Report(path, true, mode);
  return bOk;
}

int OpenOwnRegularFile(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), (flags & ~O_CREAT) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  int error = 0;
  if (::fstat(fd, &st) != 0) error = errno;
  else if (!S_ISREG(st.st_mode)) error = EINVAL;
  else if (st.st_uid != ::geteuid()) error = EPERM;
  else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) error = errno;
  if (error != 0) {
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

void SetCreationObserver(CreationObserver observer) {
  std::lock_guard lock(g_observerMutex);
  g_observer = std::move(observer);
}

}  // namespace platform
