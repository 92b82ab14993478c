#include "mail/SourceLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace mailio {

namespace {

constexpr int kAttempts = 10;  // a tenth of a second apart: a delivery is brief
constexpr auto kPause = std::chrono::milliseconds(100);
// A dotlock this old is left by a program that died holding it (procmail
// breaks its own after as long): no delivery takes that long.
constexpr auto kStaleAfter = std::chrono::seconds(1024);

// Removes the dotlock when it is stale. The fcntl lock taken after it still
// keeps out a program that is alive.
void BreakStaleLock(const std::filesystem::path& dotlock) {
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(dotlock, ec);
  if (!ec && std::filesystem::file_time_type::clock::now() - written > kStaleAfter) ::unlink(dotlock.c_str());
}

}  // namespace

MboxLock::~MboxLock() { Release(); }

bool MboxLock::Acquire(const std::filesystem::path& path, std::string* error) {
  Release();
  const std::filesystem::path dotlock = path.string() + ".lock";
  int lockFd = -1;
  for (int i = 0; i < kAttempts && lockFd < 0; ++i) {
    if (i == 0) BreakStaleLock(dotlock);
    lockFd = ::open(dotlock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (lockFd < 0 && errno != EEXIST) {
      *error = "cannot create the lock file " + dotlock.string() + ": " + std::strerror(errno);
      return false;
    }
    if (lockFd < 0) std::this_thread::sleep_for(kPause);
  }
  if (lockFd < 0) {
    *error = "locked by another program (" + dotlock.string() + ")";
    return false;
  }
  ::close(lockFd);
  m_dotlock = dotlock;

  m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (m_fd < 0) {
    *error = std::string("cannot be opened for writing: ") + std::strerror(errno);
    Release();
    return false;
  }
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  for (int i = 0; i < kAttempts; ++i) {
    // An open-file-description lock: closing another descriptor of the same
    // file (the reader's) in this process must not drop it, as it would a
    // classic one. Both kinds conflict with each other, so delivery programs
    // using the classic lock are kept out all the same.
    if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EACCES && errno != EAGAIN) break;
    std::this_thread::sleep_for(kPause);
  }
  *error = "locked by another program";
  Release();
  return false;
}

void MboxLock::Release() {
  if (m_fd >= 0) ::close(m_fd);  // closing drops the fcntl lock
  m_fd = -1;
  if (!m_dotlock.empty()) ::unlink(m_dotlock.c_str());
  m_dotlock.clear();
}

}  // namespace mailio
