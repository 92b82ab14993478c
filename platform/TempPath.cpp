#include "platform/TempPath.h"
#include "platform/CreateNew.h"
#include "platform/File.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const char kSharedTemp[] = "/tmp";

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

class FileDescriptor {
public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return m_fd; }
  // Closes now and reports whether the close itself succeeded (a write may
  // only be reported as failed at close time).
  bool Close() {
    const int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
  }

private:
  int m_fd;
};

// The file name in dirFd opened for writing from its start. An existing
// file is reused only when it is a plain file of ours with no other name;
// anything else found there (a link, a pipe, a hard link to something
// else) is removed and a fresh file is made with O_EXCL, so nothing
// planted at the name is ever written through.
//
// Reusing the file instead of renaming a new one over it matters for
// speed: replacing a file by rename makes ext4 write the old data out at
// once, and a run rewrites the same picture names for every document.
int OpenForOverwrite(int dirFd, const std::string& name) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int existing = ::openat(dirFd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (existing >= 0) {
      struct stat st {};
      if (::fstat(existing, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
          st.st_nlink == 1)
        return existing;
      ::close(existing);
    }
    if (existing >= 0 || errno != ENOENT) {
      if (::unlinkat(dirFd, name.c_str(), 0) != 0 && errno != ENOENT) return -1;
    }
    const int fresh = CreateNewFileAt(dirFd, name, Access::ownerOnly);
    if (fresh >= 0 || errno != EEXIST) return fresh;
  }
  return -1;
}

}  // namespace

std::string UserTempPath() {
  if (const char* tmpdir = NonEmptyEnv("TMPDIR")) return WithSlash(tmpdir);
  if (const char* runtime = NonEmptyEnv("XDG_RUNTIME_DIR")) return WithSlash(runtime);
  // Asked for every picture of a run: the user is looked up once. The
  // program never changes its user, and every write checks the folder's
  // owner against the user of the moment anyway.
  static const uid_t kUid = ::geteuid();
  return detail::FallbackTempPath(kSharedTemp, kUid);
}

bool PrepareUserTempPath() {
  if (NonEmptyEnv("TMPDIR") != nullptr || NonEmptyEnv("XDG_RUNTIME_DIR") != nullptr) return true;
  return detail::PrepareFallbackTempPath(kSharedTemp, ::geteuid());
}

bool CreatePrivateDirectory(const std::string& path) {
  const std::string dir = WithoutSlash(path);
  if (CreateNewDirectory(dir, Access::ownerOnly)) return true;
  // One found there is reused only as it stands: its mode is never changed,
  // for a folder others could enter may already hold names they planted.
  return errno == EEXIST && IsOwnPrivateDirectory(dir);
}

bool WritePrivateFile(const std::string& path, std::string_view bytes) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return false;

  // O_NOFOLLOW on the folder itself; its owner is checked on the open
  // descriptor, so the folder cannot be swapped between check and use.
  FileDescriptor dirFd(::open(WithoutSlash(dir).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (dirFd.Get() < 0 || ::fstat(dirFd.Get(), &st) != 0 || st.st_uid != ::geteuid()) return false;

  FileDescriptor file(OpenForOverwrite(dirFd.Get(), name));
  if (file.Get() < 0) return false;
  // The umask may only take bits away, and a reused file may have been
  // loosened; make sure the mode is exactly 0600 before the bytes go in.
  const bool written = ::fchmod(file.Get(), 0600) == 0 && WriteAll(file.Get(), bytes) &&
                       ::ftruncate(file.Get(), static_cast<off_t>(bytes.size())) == 0 && file.Close();
  if (!written) {
    ::unlinkat(dirFd.Get(), name.c_str(), 0);
    return false;
  }
  return true;
}

namespace detail {

std::string FallbackTempPath(const std::string& sharedBase, uid_t uid) {
  return WithSlash(sharedBase) + "tarnwick-" + std::to_string(uid) + "/";
}

bool PrepareFallbackTempPath(const std::string& sharedBase, uid_t uid) {
  const std::string dir = WithoutSlash(FallbackTempPath(sharedBase, uid));
  if (CreateNewDirectory(dir, Access::ownerOnly)) return true;
  if (errno != EEXIST) return false;
  // Another user may have made the name first, or planted a link there; and
  // a folder of ours that others could enter may hold names they planted.
  // Such a folder is refused as it stands, its mode left alone.
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid || (st.st_mode & 077) != 0)
    return false;
  return true;
}

}  // namespace detail

}  // namespace platform
