#include "engine/report/ReportFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace report {

LoadedReport LoadReportFile(const std::string& path) {
  LoadedReport loaded;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    loaded.strError = path + " cannot be read (it is a folder)";
    return loaded;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf())) {
    loaded.strError = path + " cannot be read (" + std::strerror(errno) + ")";
    return loaded;
  }
  ParsedReport parsed = FromJson(text.str());
  if (!parsed.report) {
    loaded.strError = path + " is not a Tarnwick report (" + parsed.strError + ")";
    return loaded;
  }
  loaded.report = std::move(parsed.report);
  return loaded;
}

bool SaveTextFile(const std::string& path, const std::string& text, std::string* strError) {
  const std::string temporary = path + ".part";
  const auto fail = [&](const char* what) {
    const int error = errno;
    if (strError) *strError = path + " cannot be written (" + what + ": " + std::strerror(error) + ")";
    ::unlink(temporary.c_str());
    return false;
  };
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    const int error = errno;
    if (strError) *strError = path + " cannot be written (" + std::strerror(error) + ")";
    return false;
  }
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      return fail("write");
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) {
    ::close(fd);
    return fail("sync");
  }
  if (::close(fd) != 0) return fail("close");
  if (::rename(temporary.c_str(), path.c_str()) != 0) return fail("rename");
  return true;
}

}  // namespace report
