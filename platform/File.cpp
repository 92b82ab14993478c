#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

CFile::~CFile() { Close(); }

bool CFile::Open(const std::string& path, Mode mode) {
  Close();
  int flags = O_RDWR | O_CLOEXEC;
  if (mode == Mode::createNew) flags |= O_CREAT;
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) return false;
  // No sharing: a second holder (another process, or another CFile here)
  // is refused rather than made to wait.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  // Truncate only after the lock is ours, so a file another holder has open
  // is never cut short under it.
  if (mode == Mode::createNew && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return false;
  }
  if (::lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    return false;
  }
  m_fd = fd;
  m_strPath = path;
  return true;
}

void CFile::Close() {
  if (m_fd >= 0) {
    ::close(m_fd);  // releases the lock as well
    m_fd = -1;
  }
}

bool CFile::Write(const void* data, std::size_t size) {
  if (m_fd < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(m_fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool CFile::Write(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return Write(bytes.data(), bytes.size());
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace platform
