// CFile: the run's log file object. One process at a time: the file is held
// with an exclusive lock while open, so another process cannot open it with
// OpenExclusive (and a second CFile in this process cannot either).
// Not thread-safe; the run hands it from thread to thread, never shares it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

class CFile {
public:
  CFile() = default;
  ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  enum class Mode { createNew, openExisting };
  // createNew creates the file new (never an existing name, never through a
  // link); openExisting opens a regular file of this user without following
  // a link or truncating, and moves to its end. Both fail when another
  // holder has it; OpenError() then says why (EWOULDBLOCK: held, EEXIST:
  // the name is taken, ENOENT: nothing there, ELOOP/EPERM/EINVAL: not a
  // regular file of this user).
  [[nodiscard]] bool Open(const std::string& path, Mode mode);
  int OpenError() const { return m_nOpenError; }
  void Close();
  bool IsOpen() const { return m_fd >= 0; }
  // Bytes in the file now (0 when not open).
  std::size_t Size() const;
  // Appends bytes at the end; false when not everything could be written.
  [[nodiscard]] bool Write(const void* data, std::size_t size);
  bool Write(std::u16string_view text);  // as UTF-16LE code units
  const std::string& GetPath() const { return m_strPath; }

private:
  int m_fd = -1;
  int m_nOpenError = 0;
  std::string m_strPath;
};

// Writes all of bytes to fd, going on after short writes and interrupted
// calls. False on an error.
[[nodiscard]] bool WriteAll(int fd, std::string_view bytes);

}  // namespace platform
