#include "platform/CacheFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/CreateNew.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr char kRunPrefix[] = "run-";
constexpr char kFreshPrefix[] = "tarnwick-cache-";

std::string NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string Reason(int error) { return std::strerror(error); }

// Why a folder that stands at path may not hold the cache, for the row.
std::string RefusalOf(const std::string& path, int error) {
  switch (error) {
    case ELOOP: return "the cache folder " + path + " is a symbolic link";
    case ENOTDIR: return "the cache folder " + path + " is not a folder";
    case EPERM: return "the cache folder " + path + " belongs to another user";
    case EACCES: return "the cache folder " + path + " is open to other users";
    default: return "cannot use the cache folder " + path + ": " + Reason(error);
  }
}

// The named cache, made when missing: its parents as ordinary folders of the
// user (the user's own ~/.cache), the cache itself private. An existing one
// is taken only when it is private and ours; its mode is never changed.
bool PrepareNamedCache(const std::string& cache, std::string* error) {
  if (IsOwnPrivateDirectory(cache)) return true;
  if (errno != ENOENT) {
    *error = RefusalOf(cache, errno);
    return false;
  }
  const std::string parent = fs::path(cache).parent_path().string();
  if (!parent.empty() && !CreateMissingDirectories(parent, Access::ownerOnly)) {
    *error = "cannot make the folder " + parent + ": " + Reason(errno);
    return false;
  }
  if (CreateNewDirectory(cache, Access::ownerOnly)) return true;
  // Another run may have made it a moment ago: then it is checked as found.
  if (errno == EEXIST && IsOwnPrivateDirectory(cache)) return true;
  *error = errno == EEXIST || errno == ELOOP || errno == ENOTDIR || errno == EPERM || errno == EACCES
               ? RefusalOf(cache, errno)
               : "cannot make the folder " + cache + ": " + Reason(errno);
  return false;
}

bool OlderThan(const struct stat& st, int seconds) {
  return std::time(nullptr) - st.st_mtime >= seconds;
}

}  // namespace

int RemoveEndedRunFolders(const std::string& cache, const std::string& prefix, int minAgeSeconds) {
  const int dirFd = ::open(WithoutSlash(cache).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dirFd < 0) return 0;
  DIR* dir = ::fdopendir(dirFd);
  if (dir == nullptr) {
    ::close(dirFd);
    return 0;
  }
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::geteuid() || !OlderThan(st, minAgeSeconds))
      continue;
    const int runFd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (runFd < 0) continue;
    // Held by a run that is alive: its lock cannot be had.
    if (::flock(runFd, LOCK_EX | LOCK_NB) == 0) {
      std::error_code ec;
      const fs::path path = fs::path(WithoutSlash(cache)) / name;
      if (prefix == kFreshPrefix) {
        // A fresh cache of a killed run: its run folder first, under the
        // same rule, then the cache when nothing else is left in it.
        RemoveEndedRunFolders(path.string(), kRunPrefix, 0);
        if (::rmdir(path.c_str()) == 0) ++removed;
      } else if (fs::remove_all(path, ec) > 0 && !ec) {
        ++removed;
      }
    }
    ::close(runFd);
  }
  ::closedir(dir);
  return removed;
}

std::string RunCacheFolder::NamedCache() {
  const std::string cache = NonEmptyEnv("XDG_CACHE_HOME");
  if (!cache.empty()) return WithoutSlash(cache) + "/tarnwick";
  const std::string home = NonEmptyEnv("HOME");
  if (!home.empty()) return WithoutSlash(home) + "/.cache/tarnwick";
  return {};
}

std::string RunCacheFolder::TempBase() {
  const std::string tmp = NonEmptyEnv("TMPDIR");
  return tmp.empty() ? "/tmp" : WithoutSlash(tmp);
}

RunCacheFolder::~RunCacheFolder() { Remove(); }

bool RunCacheFolder::Create(std::string* error) {
  if (IsCreated()) return true;
  std::string cache = NamedCache();
  if (cache.empty()) {
    // A service without a home: a shared folder such as /tmp/.cache could
    // be planted by anyone, so the cache is a folder made new for this run.
    const std::string base = TempBase();
    RemoveEndedRunFolders(base, kFreshPrefix);
    if (!CreateUniqueDirectory(base + "/" + kFreshPrefix, Access::ownerOnly, &cache)) {
      *error = "cannot make a cache folder in " + base + ": " + Reason(errno);
      return false;
    }
    m_strFreshCache = cache;
  } else {
    if (!PrepareNamedCache(cache, error)) return false;
    RemoveEndedRunFolders(cache);
  }
  std::string run;
  if (!CreateUniqueDirectory(cache + "/" + kRunPrefix, Access::ownerOnly, &run)) {
    *error = "cannot make a folder in " + cache + ": " + Reason(errno);
    Remove();
    return false;
  }
  const int fd = ::open(run.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = "cannot lock the folder " + run + ": " + Reason(errno);
    if (fd >= 0) ::close(fd);
    ::rmdir(run.c_str());
    Remove();
    return false;
  }
  m_runFd = fd;
  m_strPath = run;
  return true;
}

void RunCacheFolder::Remove() {
  std::error_code ec;
  if (!m_strPath.empty()) fs::remove_all(m_strPath, ec);  // nothing to be done if it fails
  if (m_runFd >= 0) ::close(m_runFd);
  m_runFd = -1;
  m_strPath.clear();
  if (!m_strFreshCache.empty()) ::rmdir(m_strFreshCache.c_str());
  m_strFreshCache.clear();
}

}  // namespace platform
