#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/CreateNew.h"

namespace platform {

CFile::~CFile() { Close(); }

bool CFile::Open(const std::string& path, Mode mode) {
  Close();
  // A log holds paths and note ids, not mail: the mode an ordinary file
  // gets, masked by the umask.
  const int fd = mode == Mode::createNew ? CreateNewFile(path, Access::likeSource, 0644, O_RDWR)
                                         : OpenOwnRegularFile(path, O_RDWR);
  if (fd < 0) {
    m_nOpenError = errno;
    return false;
  }
  // No sharing: a second holder (another process, or another CFile here)
  // is refused rather than made to wait.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::lseek(fd, 0, SEEK_END) < 0) {
    m_nOpenError = errno;
    ::close(fd);
    return false;
  }
  m_nOpenError = 0;
  m_fd = fd;
  m_strPath = path;
  return true;
}

std::size_t CFile::Size() const {
  struct stat st {};
  if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return 0;
  return static_cast<std::size_t>(st.st_size);
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
