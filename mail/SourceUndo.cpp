#include "mail/SourceUndo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "mail/SourceLock.h"

namespace mailio {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies everything readable from in to out.
bool Pump(int in, int out) {
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAll(out, buf, static_cast<std::size_t>(n))) return false;
  }
}

bool UndoMbox(const MailUndoRecord& r, std::string* error) {
  bool ok = true;
  MboxLock lock;
  std::string why;
  if (!lock.Acquire(r.strSource, &why)) {
    *error = r.strSource + ": " + why;
    ok = false;
  } else if (!RewriteInPlace(lock.Descriptor(), r.strKeptCopy, &why)) {
    *error = r.strSource + ": " + why;
    ok = false;
  }
  lock.Release();
  for (const MailUndoRecord::Appended& a : r.vecAppended) {
    std::error_code ec;
    if (a.bCreated) {
      fs::remove(a.strPath, ec);
      continue;
    }
    MboxLock target;
    if (!fs::exists(a.strPath, ec) || fs::file_size(a.strPath, ec) <= a.nOldSize) continue;  // already back
    if (!target.Acquire(a.strPath, &why) || ::ftruncate(target.Descriptor(), static_cast<off_t>(a.nOldSize)) != 0) {
      *error = a.strPath + ": cannot be cut back: " + why;
      ok = false;
    }
  }
  return ok;
}

// A file filed elsewhere goes back (moved) or away (copied, the original
// still in place); a removed file comes back from its kept copy.
bool UndoMaildir(const MailUndoRecord& r, std::string* error) {
  bool ok = true;
  for (const MailUndoRecord::FileChange& f : r.vecFiles) {
    std::error_code ec;
    if (!f.strNewPath.empty() && fs::exists(f.strNewPath, ec)) {
      if (fs::exists(f.strOldPath, ec)) fs::remove(f.strNewPath, ec);
      else fs::rename(f.strNewPath, f.strOldPath, ec);
      if (ec) {
        *error = f.strNewPath + ": " + ec.message();
        ok = false;
      }
    }
    std::string why;
    if (!f.strKeptCopy.empty() && !fs::exists(f.strOldPath, ec) && !CopyFileSynced(f.strKeptCopy, f.strOldPath, &why)) {
      *error = why;
      ok = false;
    }
  }
  return ok;
}

}  // namespace

bool CopyFileSynced(const fs::path& src, const fs::path& dst, std::string* error) {
  const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *error = Errno(src.string());
    return false;
  }
  const int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (out < 0) {
    *error = Errno(dst.string());
    ::close(in);
    return false;
  }
  const bool ok = Pump(in, out) && ::fsync(out) == 0;
  if (!ok) *error = Errno(dst.string());
  ::close(in);
  return ::close(out) == 0 && ok;
}

bool RewriteInPlace(int fd, const fs::path& src, std::string* error) {
  const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *error = Errno(src.string());
    return false;
  }
  const bool ok = ::lseek(fd, 0, SEEK_SET) == 0 && Pump(in, fd) &&
                  ::ftruncate(fd, ::lseek(fd, 0, SEEK_CUR)) == 0 && ::fsync(fd) == 0;
  if (!ok) *error = Errno("cannot be rewritten");
  ::close(in);
  return ok;
}

bool SaveUndoRecord(const MailUndoRecord& r, const fs::path& file, std::string* error) {
  json j{{"format", "tarnwick-mail-undo"},
         {"kind", r.kind == MailUndoRecord::Kind::mbox ? "mbox" : "maildir"},
         {"source", r.strSource},
         {"keptCopy", r.strKeptCopy},
         {"appended", json::array()},
         {"files", json::array()}};
  for (const auto& a : r.vecAppended)
    j["appended"].push_back({{"path", a.strPath}, {"oldSize", a.nOldSize}, {"created", a.bCreated}});
  for (const auto& f : r.vecFiles)
    j["files"].push_back({{"old", f.strOldPath}, {"kept", f.strKeptCopy}, {"new", f.strNewPath}, {"moved", f.bMoved}});
  const std::string text = j.dump(1) + "\n";
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = Errno(file.string());
    return false;
  }
  const bool ok = WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
  if (!ok) *error = Errno(file.string());
  return ::close(fd) == 0 && ok;
}

std::optional<MailUndoRecord> LoadUndoRecord(const fs::path& file, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  json j = json::parse(in, nullptr, false);
  if (j.is_discarded() || !j.is_object() || j.value("format", "") != "tarnwick-mail-undo") {
    *error = file.string() + ": not a mail source record";
    return std::nullopt;
  }
  try {
    MailUndoRecord r;
    r.kind = j.at("kind").get<std::string>() == "mbox" ? MailUndoRecord::Kind::mbox : MailUndoRecord::Kind::maildir;
    r.strSource = j.at("source").get<std::string>();
    r.strKeptCopy = j.at("keptCopy").get<std::string>();
    for (const json& a : j.at("appended"))
      r.vecAppended.push_back({a.at("path").get<std::string>(), a.at("oldSize").get<std::uint64_t>(),
                               a.at("created").get<bool>()});
    for (const json& f : j.at("files"))
      r.vecFiles.push_back({f.at("old").get<std::string>(), f.at("kept").get<std::string>(),
                            f.at("new").get<std::string>(), f.value("moved", false)});
    return r;
  } catch (const json::exception& e) {
    *error = file.string() + ": " + e.what();
    return std::nullopt;
  }
}

bool UndoMailWriteBack(const MailUndoRecord& record, std::string* error) {
  return record.kind == MailUndoRecord::Kind::mbox ? UndoMbox(record, error) : UndoMaildir(record, error);
}

}  // namespace mailio
