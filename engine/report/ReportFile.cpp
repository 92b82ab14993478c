#include "engine/report/ReportFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/CreateNew.h"
#include "platform/File.h"

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
  TextFileDraft draft;
  std::string reason;
  if (!draft.Create(path, &reason)) {
    if (strError) *strError = path + " cannot be written (" + reason + ")";
    return false;
  }
  return draft.Commit(produce, strError);
}

TextFileDraft::~TextFileDraft() { Discard(); }

void TextFileDraft::Discard() {
  if (m_fd < 0) return;
  ::close(m_fd);
  ::unlink(m_strDraft.c_str());
  m_fd = -1;
}

bool TextFileDraft::Create(const std::string& path, std::string* strError) {
  Discard();
  m_strPath = path;
  // A folder at the name would refuse the rename only once the run is done.
  std::error_code ec;
  if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ec))) {
    if (strError) *strError = std::strerror(EISDIR);
    return false;
  }
  m_strDraft = path + ".part";
  m_fd = platform::CreateNewFile(m_strDraft, platform::Access::ownerOnly);
  // A draft left by a run that was killed, or a name planted to be written
  // through: either way not ours to use.
  if (m_fd < 0 && errno == EEXIST)
    m_fd = platform::CreateUniqueFile(path + ".part-", platform::Access::ownerOnly, &m_strDraft);
  if (m_fd < 0) {
    if (strError) *strError = std::strerror(errno);
    return false;
  }
  return true;
}

bool TextFileDraft::Commit(const std::function<void(const TextSink&)>& produce, std::string* strError) {
  const std::string& path = m_strPath;
  const auto fail = [&](const char* what, int error) {
    if (strError) *strError = path + " cannot be written (" + what + ": " + std::strerror(error) + ")";
    Discard();
    return false;
  };
  if (m_fd < 0) return fail("create", EBADF);
  int writeError = 0;
  std::string buffer;
  const auto flush = [&] {
    if (writeError == 0 && !platform::WriteAll(m_fd, buffer)) writeError = errno != 0 ? errno : EIO;
    buffer.clear();
  };
  produce([&](std::string_view piece) {
    buffer += piece;
    if (buffer.size() >= 256 * 1024) flush();
  });
  flush();
  if (writeError != 0) return fail("write", writeError);
  if (::fsync(m_fd) != 0) return fail("sync", errno);
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(m_strDraft.c_str());
    if (strError) *strError = path + " cannot be written (close: " + std::strerror(error) + ")";
    return false;
  }
  if (::rename(m_strDraft.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(m_strDraft.c_str());
    if (strError) *strError = path + " cannot be written (rename: " + std::strerror(error) + ")";
    return false;
  }
  return true;
}

}  // namespace report
