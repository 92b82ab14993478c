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
  return SaveTextFile(path, [&text](const TextSink& write) { write(text); }, strError);
}

bool SaveTextFile(const std::string& path, const std::function<void(const TextSink&)>& produce,
                  std::string* strError) {
  const std::string temporary = path + ".part";
  const auto fail = [&](const char* what, int error) {
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
  int writeError = 0;
  std::string buffer;
  const auto flush = [&] {
    std::size_t written = 0;
    while (writeError == 0 && written < buffer.size()) {
      const ssize_t n = ::write(fd, buffer.data() + written, buffer.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) writeError = n < 0 ? errno : EIO;
      else written += static_cast<std::size_t>(n);
    }
    buffer.clear();
  };
  produce([&](std::string_view piece) {
    buffer += piece;
    if (buffer.size() >= 256 * 1024) flush();
  });
  flush();
  if (writeError != 0) {
    ::close(fd);
    return fail("write", writeError);
  }
  if (::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    return fail("sync", error);
  }
  if (::close(fd) != 0) return fail("close", errno);
  if (::rename(temporary.c_str(), path.c_str()) != 0) return fail("rename", errno);
  return true;
}

}  // namespace report
