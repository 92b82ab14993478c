#include "platform/CreateNew.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <sys/random.h>
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

// The name a creation is recorded under: relative names inside a folder
// descriptor are given with that folder's path.
std::string RecordedPath(int dirFd, const std::string& name) {
  if (dirFd == AT_FDCWD || (!name.empty() && name.front() == '/')) return name;
  {
    std::lock_guard lock(g_observerMutex);
    if (!g_observer) return name;
  }
  char folder[4096] = {};
  const std::string link = "/proc/self/fd/" + std::to_string(dirFd);
  const ssize_t n = ::readlink(link.c_str(), folder, sizeof folder - 1);
  return n > 0 ? std::string(folder, static_cast<std::size_t>(n)) + "/" + name : name;
}

// Six letters and digits nobody can guess ahead of the run.
std::string RandomSuffix() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6] = {};
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // No entropy yet (very early boot): names stay distinct, only guessable.
    static std::atomic<unsigned long> counter{0};
    unsigned long v = static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      (static_cast<unsigned long>(::getpid()) << 20) ^ (counter++ * 7919ul);
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(v);
      v = v * 6364136223846793005ul + 1442695040888963407ul;
    }
  }
  std::string suffix;
  for (unsigned char b : bytes) suffix.push_back(kLetters[b % (sizeof kLetters - 1)]);
  return suffix;
}

// Sets the mode of the folder just made at path, through a descriptor of it,
// so that a name swapped meanwhile is never changed.
bool SetFolderMode(const std::string& path, mode_t mode) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    const bool bOk = ::fchmod(fd, mode) == 0;
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return bOk;
  }
  if (errno != EACCES) return false;
  // A umask that took the owner's own bits: the folder cannot be opened for
  // reading, but a path descriptor can, and its /proc name reaches the very
  // folder it holds.
  fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const std::string viaProc = "/proc/self/fd/" + std::to_string(fd);
  const bool bOk = ::chmod(viaProc.c_str(), mode) == 0;
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return bOk;
}

}  // namespace

int CreateNewFile(const std::string& path, Access access, mode_t sourceMode, int flags) {
  return CreateNewFileAt(AT_FDCWD, path, access, sourceMode, flags);
}

int CreateNewFileAt(int dirFd, const std::string& path, Access access, mode_t sourceMode, int flags) {
  if ((flags & O_ACCMODE) == O_RDONLY) flags |= O_WRONLY;
  flags &= ~O_TRUNC;  // a new file has nothing to cut
  const mode_t mode = ModeFor(access, sourceMode, false);
  // Created 0600 first: nobody else can open it before its mode is final.
  int fd = -1;
  do fd = ::openat(dirFd, path.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  if (::fchmod(fd, mode) != 0) {
    const int saved = errno;
    ::close(fd);
    ::unlinkat(dirFd, path.c_str(), 0);
    errno = saved;
    return -1;
  }
  Report(RecordedPath(dirFd, path), false, mode);
  return fd;
}

bool CreateNewDirectory(const std::string& path, Access access, mode_t sourceMode) {
  const mode_t mode = ModeFor(access, sourceMode, true);
  // mkdir never follows a link at the name: a planted one gives EEXIST.
  if (::mkdir(path.c_str(), 0700) != 0) return false;
  if (!SetFolderMode(path, mode)) {
    const int saved = errno;
    ::rmdir(path.c_str());  // only ever removes an empty folder
    errno = saved;
    return false;
  }
  Report(path, true, mode);
  return true;
}

int OpenOwnRegularFile(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), (flags & ~(O_CREAT | O_EXCL | O_TRUNC)) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  int error = 0;
  if (::fstat(fd, &st) != 0) error = errno;
  else if (!S_ISREG(st.st_mode)) error = EINVAL;
  else if (st.st_uid != ::geteuid()) error = EPERM;
  else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) error = errno;
  if (error == 0 && (flags & O_TRUNC) != 0 && ::ftruncate(fd, 0) != 0) error = errno;
  if (error != 0) {
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

int CreateUniqueFile(const std::string& prefix, Access access, std::string* createdPath, mode_t sourceMode,
                     int flags) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = prefix + RandomSuffix();
    const int fd = CreateNewFile(path, access, sourceMode, flags);
    if (fd >= 0) {
      if (createdPath) *createdPath = path;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

bool CreateUniqueDirectory(const std::string& prefix, Access access, std::string* createdPath, mode_t sourceMode) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = prefix + RandomSuffix();
    if (CreateNewDirectory(path, access, sourceMode)) {
      if (createdPath) *createdPath = path;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  errno = EEXIST;
  return false;
}

bool CreateMissingDirectories(const std::string& path, Access access, mode_t sourceMode) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat st {};
  if (name.empty()) {
    errno = ENOENT;
    return false;
  }
  if (::stat(name.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  if (errno != ENOENT) return false;
  const std::size_t slash = name.rfind('/');
  if (slash != std::string::npos && slash > 0 &&
      !CreateMissingDirectories(name.substr(0, slash), access, sourceMode))
    return false;
  if (CreateNewDirectory(name, access, sourceMode)) return true;
  // Made by another process meanwhile: a folder is what was asked for.
  return errno == EEXIST && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsOwnPrivateDirectory(const std::string& path) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0) return false;
  int error = 0;
  if (S_ISLNK(st.st_mode)) error = ELOOP;
  else if (!S_ISDIR(st.st_mode)) error = ENOTDIR;
  else if (st.st_uid != ::geteuid()) error = EPERM;
  else if ((st.st_mode & 077) != 0) error = EACCES;
  errno = error;
  return error == 0;
}

void SetCreationObserver(CreationObserver observer) {
  std::lock_guard lock(g_observerMutex);
  g_observer = std::move(observer);
}

}  // namespace platform
