// The undo of a maildir write-back (see SourceUndo.h): files filed elsewhere
// go back, removed files come back from their kept copies.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "mail/MailSources.h"
#include "mail/SourceUndo.h"

namespace mailio {

namespace fs = std::filesystem;

namespace {

// Bytes free for this process on the file system of path; nullopt when not known.
std::optional<std::uint64_t> FreeSpace(const fs::path& path) {
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
  const std::uint64_t blocks = ::geteuid() == 0 ? vfs.f_bfree : vfs.f_bavail;
  return blocks * vfs.f_frsize;
}

// A removed file comes back from its kept copy through a draft beside it,
// created new under a short hidden name (the message's own name may use up
// the name limit), then renamed to its name, so it is back whole or not at
// all. A draft that fails is removed again.
bool RestoreFile(const fs::path& keptCopy, const fs::path& old, std::string* why) {
  const fs::path folder = old.parent_path();
  fs::path draft;
  bool copied = false;
  for (int n = 0; !copied && n < 100; ++n) {
    draft = folder / (".tarnwick-restore-" + std::to_string(::getpid()) + "-" + std::to_string(n));
    copied = CopyFileSynced(keptCopy, draft, why);
    if (!copied && errno != EEXIST) return false;
  }
  if (!copied) return false;
  // Root restoring a user's maildir gives the message back to that user.
  struct stat owner {};
  if (::geteuid() == 0 && ::stat(folder.c_str(), &owner) == 0 &&
      ::lchown(draft.c_str(), owner.st_uid, owner.st_gid) != 0) {
    // Still the message, only root's: better than not back at all.
  }
  if (RenameNoReplace(draft, old)) return true;
  *why = std::strerror(errno);
  ::unlink(draft.c_str());
  return false;
}

// FindMaildirMessage for many files: each folder's new/ and cur/ listed
// once, when a file is not at its own name. Files this undo puts back are
// not asked for again, so the lists need not follow them.
class MessageFinder {
public:
  std::optional<fs::path> Find(const fs::path& file) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(file, ec))) return file;
    const fs::path folder = file.parent_path().parent_path();
    auto [it, fresh] = m_mapFolders.try_emplace(folder);
    if (fresh)
      for (const char* sub : {"new", "cur"})
        for (fs::directory_iterator d(folder / sub, ec), end; !ec && d != end; d.increment(ec)) {
          const std::string name = d->path().filename().string();
          if (!name.starts_with('.')) it->second.emplace(MaildirBaseName(name), d->path());
        }
    const auto found = it->second.find(MaildirBaseName(file.filename().string()));
    if (found == it->second.end()) return std::nullopt;
    return found->second;
  }

private:
  std::map<fs::path, std::map<std::string, fs::path>> m_mapFolders;
};

// A file filed elsewhere goes back (moved) or away (copied, the original
// still in place); a removed file comes back from its kept copy. A message
// that a mail client renamed since (new/ to cur/, other flags) is found
// again by its base name: it is in place, and never comes back twice.
}  // namespace

MailUndoOutcome UndoMaildirRecord(const MailUndoRecord& r) {
  MailUndoOutcome out;
  MessageFinder finder;
  // The space every file to be restored needs, made sure of first: a full
  // disk leaves the maildir as it is.
  std::uint64_t needed = 0;
  fs::path anyFolder;
  for (const MailUndoRecord::FileChange& f : r.vecFiles) {
    if (f.strKeptCopy.empty() || finder.Find(f.strOldPath)) continue;
    std::error_code ec;
    const std::uint64_t size = fs::file_size(f.strKeptCopy, ec);
    needed += ec ? 0 : size + 4096;  // a block of its own at least
    anyFolder = fs::path(f.strOldPath).parent_path();
  }
  if (needed > 0) {
    const std::optional<std::uint64_t> free = FreeSpace(anyFolder);
    if (free && *free < needed) {
      out.vecFailures.push_back({r.strSource, std::strerror(ENOSPC)});
      return out;
    }
  }
  for (const MailUndoRecord::FileChange& f : r.vecFiles) {
    bool changed = false;
    const std::optional<fs::path> filed = f.strNewPath.empty() ? std::nullopt : finder.Find(f.strNewPath);
    if (filed) {
      const bool there = finder.Find(f.strOldPath).has_value();
      const bool ok = there ? ::unlink(filed->c_str()) == 0 : RenameNoReplace(*filed, f.strOldPath);
      if (!ok) {
        out.vecFailures.push_back({filed->string(), std::strerror(errno)});
        continue;
      }
      changed = true;
    }
    const bool present = changed || finder.Find(f.strOldPath).has_value();
    if (f.strKeptCopy.empty() && !present) {
      // Filed away by renaming, and no longer where it was filed.
      out.vecFailures.push_back({f.strOldPath, "it is no longer at " + f.strNewPath});
      continue;
    }
    if (!f.strKeptCopy.empty() && !present) {
      std::string why;
      if (!RestoreFile(f.strKeptCopy, f.strOldPath, &why)) {
        out.vecFailures.push_back({f.strOldPath, why});
        continue;
      }
      changed = true;
    }
    out.nRestored += changed;
  }
  return out;
}

}  // namespace mailio
