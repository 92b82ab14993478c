#include "platform/Paths.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/CreateNew.h"
#include "platform/Text.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The XDG_DESKTOP_DIR line of user-dirs.dirs: XDG_DESKTOP_DIR="$HOME/Desktop".
std::string DesktopFromUserDirs(const std::string& home) {
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() && !home.empty()) config = home + "/.config";
  if (config.empty()) return {};
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    constexpr std::string_view key = "XDG_DESKTOP_DIR=";
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    if (!value.empty() && value.front() == '/') return value;
  }
  return {};
}

}  // namespace

std::string DesktopFolder() {
  const std::string home = Env("HOME");
  std::string dir = Env("XDG_DESKTOP_DIR");
  if (dir.empty()) dir = DesktopFromUserDirs(home);
  if (dir.empty() && !home.empty()) dir = home + "/Desktop";
  if (dir.empty()) return {};
  // An ordinary folder of the user's, as mkdir -p makes it.
  if (!CreateMissingDirectories(dir, Access::likeSource, 0777)) return {};
  return dir;
}

std::u16string TimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || !localtime_r(&now, &local))
    return Ascii("0-0-0--1--1--1");
  const std::string text = std::to_string(local.tm_mday) + "-" + std::to_string(local.tm_mon + 1) +
                           "-" + std::to_string(local.tm_year + 1900) + "-" +
                           std::to_string(local.tm_hour) + "-" + std::to_string(local.tm_min) +
                           "-" + std::to_string(local.tm_sec);
  return Ascii(text);
}

namespace {

// Copies the bytes of src into the empty file open at out, in chunks so that a Stop
// is seen between them. The kernel copies within the file system where it can.
// Each chunk is sent to the disk as the next one is copied, and the copy is
// on the disk when this returns: left in the page cache, the whole file would
// be written out by the first commit made in it, which then takes as long as
// the disk needs for the file, and a Stop waits for that commit.
// Closes out.
bool CopyBytes(const std::string& src, int out, const std::atomic<std::uint8_t>* pRunning) {
  const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    ::close(out);
    return false;
  }
  constexpr std::size_t kChunk = 8u << 20;
  bool ok = true;
  bool bKernelCopy = true;
  std::vector<char> buffer;
  off_t offset = 0, lastOffset = 0;
  for (;;) {
    if (pRunning && pRunning->load() == 0) {
      ok = false;
      break;
    }
    ssize_t n = -1;
    if (bKernelCopy) {
      n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        bKernelCopy = false;
        continue;
      }
    } else {
      buffer.resize(kChunk);
      n = ::read(in, buffer.data(), buffer.size());
      for (ssize_t done = 0; n > 0 && done < n;) {
        const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          n = -1;
          break;
        }
        done += w;
      }
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ::sync_file_range(out, offset, n, SYNC_FILE_RANGE_WRITE);
    if (offset > 0)
      ::sync_file_range(out, lastOffset, offset - lastOffset,
                        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    lastOffset = offset;
    offset += n;
  }
  ::close(in);
  // A file system that cannot sync (EINVAL) keeps the copy all the same.
  if (ok && ::fdatasync(out) != 0 && errno != EINVAL && errno != ENOTSUP) ok = false;
  if (::close(out) != 0) ok = false;
  return ok;
}

}  // namespace

bool CopyFileNew(const std::string& src, const std::string& dst, const std::atomic<std::uint8_t>* pRunning) {
  struct stat st {};
  if (::stat(src.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // A copy gets no more access than its source has, but its owner, this
  // program's user, must be able to change it: a read-only source still
  // gives a copy the run can clean.
  const mode_t mode = (st.st_mode & 07777) | S_IRUSR | S_IWUSR;
  // The bytes go to a file of their own first; link() then gives them dst's
  // name only when no file has it. So a file is never replaced, and a copy
  // that fails, or a process killed while copying, never leaves a truncated
  // file under a database's name.
  std::string part;
  const int partFd = CreateUniqueFile(dst + ".part-", Access::likeSource, &part, mode);
  if (partFd < 0) return false;
  bool ok = CopyBytes(src, partFd, pRunning);
  int linkError = 0;
  if (ok && ::link(part.c_str(), dst.c_str()) != 0) {
    linkError = errno;
    ok = false;
  }
  ::unlink(part.c_str());
  if (ok || (linkError != EPERM && linkError != ENOTSUP && linkError != EOPNOTSUPP)) return ok;
  // A file system without hard links: claim the name, then fill it.
  const int fd = CreateNewFile(dst, Access::likeSource, mode);
  if (fd < 0) return false;
  if (CopyBytes(src, fd, pRunning)) return true;
  ::unlink(dst.c_str());
  return false;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace platform
