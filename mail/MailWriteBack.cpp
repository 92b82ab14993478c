// The write-back of a judged mail source (see MailSourceRun.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "lnapi/store/Store.h"
#include "mail/MailSourceRun.h"
#include "mail/MailSources.h"
#include "mail/SourceLock.h"
#include "mail/SourceUndo.h"
#include "platform/CreateNew.h"
#include "platform/Text.h"

namespace mailio {

namespace fs = std::filesystem;
namespace st = lnapi::store;

namespace {

constexpr const char* kSourceIndexItem = "$SourceMessage";

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// What the run did to each message of the source.
struct Outcome {
  std::vector<bool> vecKept;      // still a live document under its note id
  std::vector<std::uint32_t> vecFiled;  // copies the run filed (move, copy), by message
};

Outcome ReadOutcome(const MailSourceProvider::Source& source, const fs::path& workDb) {
  Outcome out;
  out.vecKept.assign(source.vecMessages.size(), false);
  std::unique_ptr<st::Store> store = st::Store::Open(workDb.string(), st::Store::Mode::readOnly);
  for (const st::NoteRow& row : store->ListNotes()) {
    if (row.cls != st::NoteClass::document || row.life != st::NoteLife::live) continue;
    if (auto it = source.mapIdToMessage.find(row.dwId); it != source.mapIdToMessage.end()) {
      out.vecKept[it->second] = true;
      continue;
    }
    for (const st::StoredItem& item : store->GetItems(row.dwId))
      if (item.strName == kSourceIndexItem) {
        const unsigned long index = std::stoul(item.value);
        if (index < source.vecMessages.size()) out.vecFiled.push_back(static_cast<std::uint32_t>(index));
      }
  }
  std::sort(out.vecFiled.begin(), out.vecFiled.end());
  return out;
}

bool ReadSpan(int fd, const MailSourceProvider::Message& m, std::string* bytes) {
  bytes->resize(m.nLength);
  std::size_t done = 0;
  while (done < m.nLength) {
    const ssize_t n = ::pread(fd, bytes->data() + done, m.nLength - done, static_cast<off_t>(m.nOffset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// An entry to put after others: it ends with its line end and one empty line.
std::string AsSeparatedEntry(std::string entry) {
  if (!entry.ends_with('\n')) entry += '\n';
  if (!entry.ends_with("\n\n")) entry += '\n';
  return entry;
}

// Hands the chosen entries of the mbox read through fd to each, in order:
// as they stand, or (separate) each ending with an empty line, as entries
// appended after others must.
template <typename Each>
bool ForEachEntry(int fd, const MailSourceProvider::Source& source, const std::vector<std::uint32_t>& which,
                  bool separate, std::string* error, Each each) {
  std::string bytes;
  for (std::uint32_t i : which) {
    if (!ReadSpan(fd, source.vecMessages[i], &bytes) || !each(separate ? AsSeparatedEntry(std::move(bytes)) : bytes)) {
      *error = Errno("cannot copy message " + std::to_string(i + 1));
      return false;
    }
  }
  return true;
}

bool CopyEntries(int fd, const MailSourceProvider::Source& source, const std::vector<std::uint32_t>& which, int out,
                 bool separate, std::string* error) {
  return ForEachEntry(fd, source, which, separate, error, [out](std::string_view bytes) { return WriteAll(out, bytes); });
}

// The size and digest of the entries as ForEachEntry hands them, after prefix.
bool MeasureEntries(int fd, const MailSourceProvider::Source& source, const std::vector<std::uint32_t>& which,
                    bool separate, std::string_view prefix, std::uint64_t* size, std::string* digest,
                    std::string* error) {
  StreamDigest d;
  d.Update(prefix);
  *size = prefix.size();
  const bool ok = ForEachEntry(fd, source, which, separate, error, [&](std::string_view bytes) {
    d.Update(bytes);
    *size += bytes.size();
    return true;
  });
  *digest = d.Final();
  return ok;
}

mode_t ModeOf(const fs::path& path, mode_t fallback) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : fallback;
}

// A folder made by the run (mode like the source's folder), or one that is
// there already as a real folder: never one reached through a link, so
// nothing is filed outside the folder meant.
bool MakeFolder(const fs::path& dir, mode_t mode, std::string* error) {
  if (platform::CreateNewDirectory(dir.string(), platform::Access::likeSource, mode)) return true;
  struct stat st {};
  if (errno == EEXIST && ::lstat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    *error = dir.string() + (S_ISLNK(st.st_mode) ? ": a link" : ": not a folder");
    return false;
  }
  *error = Errno(dir.string());
  return false;
}

// dir with cur, new and tmp, made like the folder model (a maildir's own).
bool MakeMaildir(const fs::path& dir, const fs::path& model, std::string* error) {
  const mode_t mode = ModeOf(model, 0700);
  if (!MakeFolder(dir, mode, error)) return false;
  for (const char* sub : {"cur", "new", "tmp"})
    if (!MakeFolder(dir / sub, mode, error)) return false;
  return true;
}

std::vector<std::uint32_t> Indices(const std::vector<bool>& flags, bool value) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i < flags.size(); ++i)
    if (flags[i] == value) out.push_back(static_cast<std::uint32_t>(i));
  return out;
}

// New-file mode: the kept messages into a new file or maildir of the same kind.
std::string WriteNewFile(const MailSourceProvider::Source& source, const std::vector<std::uint32_t>& kept) {
  std::string error;
  if (source.bMaildir) {
    // The copy's own folder is made new: a name taken meanwhile is refused.
    if (!platform::CreateNewDirectory(source.newFile.string(), platform::Access::likeSource,
                                      ModeOf(source.path, 0700)))
      return Errno(source.newFile.string());
    if (!MakeMaildir(source.newFile, source.path, &error)) return error;
    for (std::uint32_t i : kept) {
      // The name below the maildir as listed: a message that is a link is
      // read through it, and its bytes go into a file of the copy's own.
      const fs::path from = source.vecMessages[i].strFile;
      const fs::path relative = from.lexically_relative(source.path);
      const fs::path folder = relative.parent_path().parent_path();
      if ((!folder.empty() && !MakeMaildir(source.newFile / folder, source.path / folder, &error)) ||
          !CopyFileSynced(from, source.newFile / relative, &error, platform::Access::likeSource, ModeOf(from, 0600)))
        return error;
    }
    return {};
  }
  const int in = ::open(source.path.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = platform::CreateNewFile(source.newFile.string(), platform::Access::likeSource,
                                          ModeOf(source.path, 0600));
  bool ok = in >= 0 && out >= 0 && CopyEntries(in, source, kept, out, false, &error) && ::fsync(out) == 0;
  if (in < 0 || out < 0) error = Errno(in < 0 ? source.path.string() : source.newFile.string());
  if (in >= 0) ::close(in);
  if (out >= 0 && ::close(out) != 0) ok = false;
  return ok ? "" : (error.empty() ? Errno(source.newFile.string()) : error);
}

// What makes the mbox open on fd (size bytes) end with an empty line, so
// that an entry appended to it starts at a From_ line of its own.
bool PaddingToEmptyLine(int fd, std::uint64_t size, std::string* padding) {
  padding->clear();
  if (size == 0) return true;
  char tail[2] = {0, 0};
  const std::size_t n = size >= 2 ? 2 : 1;
  if (::pread(fd, tail + 2 - n, n, static_cast<off_t>(size - n)) != static_cast<ssize_t>(n)) return false;
  if (!(tail[0] == '\n' && tail[1] == '\n')) *padding = tail[1] == '\n' ? "\n" : "\n\n";
  return true;
}

std::uint64_t SizeOf(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// The Maildir++ folder of a folder name ("A\B" is ".A.B").
std::string MaildirPlusName(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '.');
  return "." + name;
}

}  // namespace

struct MailSourceProvider::Change {
  std::vector<std::uint32_t> vecRemoved, vecFiled;
  std::string strTarget;  // the folder the filed messages go to
  fs::path keep;          // the journal folder of this write-back
};

std::string MailSourceProvider::WriteBack(Source& source, const fs::path& workDb) {
  Outcome outcome;
  try {
    outcome = ReadOutcome(source, workDb);
  } catch (...) {
    return "the judged messages cannot be read back";
  }
  const std::vector<std::uint32_t> kept = Indices(outcome.vecKept, true);
  if (!m_settings.bModifyOriginal) return WriteNewFile(source, kept);

  const std::vector<std::uint32_t> removed = Indices(outcome.vecKept, false);
  const std::vector<std::uint32_t> filed = m_settings.nAction == 1 ? removed : outcome.vecFiled;
  if (removed.empty() && filed.empty()) return {};
  const std::string target = m_settings.nAction == 1 ? "Trash" : m_settings.strSubFolder;
  if (!m_pJournal) return "no journal to keep the original in";

  // The journal's record and the kept original come first, synced: from
  // here on nothing the write-back does is unrecoverable. Runs started in
  // the same second share the journal and its folder.
  if (!platform::CreateNewDirectory(m_journalFolder.string(), platform::Access::ownerOnly) && errno != EEXIST)
    return "the journal's copy cannot be made: " + Errno(m_journalFolder.string());
  // A folder planted at the journal's name is never written into.
  struct stat st {};
  if (::lstat(m_journalFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    return "the journal's copy cannot be made: " + m_journalFolder.string() + ": not a folder of this user";
  fs::path keep;
  bool made = false;
  int why = 0;
  do {
    keep = m_journalFolder / std::to_string(++m_nWriteBacks);
    made = platform::CreateNewDirectory(keep.string(), platform::Access::ownerOnly);
    why = errno;
  } while (!made && why == EEXIST && m_nWriteBacks < 1000000);
  errno = why;
  if (!made) return "the journal's copy cannot be made: " + Errno(keep.string());
  const Change change{removed, filed, target, keep};
  return source.bMaildir ? WriteBackMaildir(source, change) : WriteBackMbox(source, change);
}

std::string MailSourceProvider::WriteBackMbox(Source& source, const Change& change) {
  if (!source.pLock || source.pLock->Descriptor() < 0) return "not locked";
  const int fd = source.pLock->Descriptor();
  MailUndoRecord record;
  record.kind = MailUndoRecord::Kind::mbox;
  record.strSource = source.path.string();
  record.strKeptCopy = (change.keep / "original").string();
  std::vector<bool> gone(source.vecMessages.size(), false);
  for (std::uint32_t i : change.vecRemoved) gone[i] = true;
  for (std::uint32_t i : change.vecFiled) gone[i] = true;
  record.nMessages = static_cast<std::uint32_t>(std::count(gone.begin(), gone.end(), true));
  std::string error;
  if (!CopyFileSynced(source.path, record.strKeptCopy, &error)) {
    // A copy cut short (a full disk) is no copy: nothing of it stays behind.
    ::unlink(record.strKeptCopy.c_str());
    ::rmdir(change.keep.c_str());
    return "the journal's copy cannot be made: " + error;
  }
  const int keptFd = ::open(record.strKeptCopy.c_str(), O_RDONLY | O_CLOEXEC);
  if (keptFd < 0) return Errno("the journal's copy cannot be read");
  struct CloseFd {
    int fd;
    ~CloseFd() { ::close(fd); }
  } closeKept{keptFd};

  // What the rewrite leaves, and what is appended where, measured before
  // the record is written: undo recognises the source and the mboxes
  // appended to by these sizes and digests.
  std::vector<bool> removed(source.vecMessages.size(), false);
  for (std::uint32_t i : change.vecRemoved) removed[i] = true;
  const std::vector<std::uint32_t> kept = Indices(removed, false);
  if (!change.vecRemoved.empty() &&
      !MeasureEntries(keptFd, source, kept, false, {}, &record.nRewrittenSize, &record.rewrittenDigest, &error))
    return error;
  if (change.vecRemoved.empty()) {  // not rewritten: the original as it stands
    record.nRewrittenSize = SizeOf(keptFd);
    const auto whole = DigestOfRange(keptFd, 0, record.nRewrittenSize);
    if (!whole) return Errno("the journal's copy cannot be read");
    record.rewrittenDigest = *whole;
  }
  const fs::path targetPath = source.path.parent_path() / change.strTarget;
  MboxLock targetLock;
  std::string padding;
  std::error_code ec;
  if (!change.vecFiled.empty()) {
    if (fs::equivalent(targetPath, source.path, ec)) return "the folder " + change.strTarget + " is the source itself";
    MailUndoRecord::Appended a;
    a.strPath = targetPath.string();
    a.bCreated = !fs::exists(targetPath, ec);
    if (!a.bCreated) {
      if (!targetLock.Acquire(targetPath, &error)) return targetPath.string() + ": " + error;
      a.nOldSize = SizeOf(targetLock.Descriptor());
      if (!PaddingToEmptyLine(targetLock.Descriptor(), a.nOldSize, &padding)) return Errno(targetPath.string());
    }
    if (!MeasureEntries(keptFd, source, change.vecFiled, true, padding, &a.nLength, &a.digest, &error)) return error;
    record.vecAppended.push_back(std::move(a));
  }
  const fs::path marker = WriteBackMarker(record);
  if (!WriteFileSynced(marker, {})) return Errno("the journal's folder cannot be written");
  if (!m_pJournal->AppendDurable(EncodeMailRecord(record))) {
    RemoveSynced(marker);
    return "the journal cannot be written: " + platform::ToUtf8(m_pJournal->Path());
  }

  // The appends and the rewrite end whole even when this process is killed
  // in the middle: a rewrite cut short would leave the source half old,
  // half new until an undo. The target mbox is created first, so that its
  // lock is handed over too.
  if (!change.vecFiled.empty() && record.vecAppended[0].bCreated) {
    const int made = platform::CreateNewFile(targetPath.string(), platform::Access::likeSource,
                                             ModeOf(source.path, 0600));
    if (made < 0 || ::close(made) != 0 || !targetLock.Acquire(targetPath, &error)) {
      RemoveSynced(marker);
      return error.empty() ? Errno(targetPath.string()) : targetPath.string() + ": " + error;
    }
  }
  const bool ok = FinishEvenIfKilled(
      [&](std::string* why) {
        bool done = true;
        if (!change.vecFiled.empty()) {
          const int out = targetLock.Descriptor();
          done = ::lseek(out, 0, SEEK_END) >= 0 && WriteAll(out, padding) &&
                 CopyEntries(keptFd, source, change.vecFiled, out, true, why) && ::fsync(out) == 0;
          if (!done && why->empty()) *why = Errno(targetPath.string());
        }
        if (done && !change.vecRemoved.empty()) {
          // In place, not renamed over: a program waiting on the lock holds
          // this file open and must find the new contents in it.
          done = ::lseek(fd, 0, SEEK_SET) == 0 && CopyEntries(keptFd, source, kept, fd, false, why) &&
                 ::ftruncate(fd, ::lseek(fd, 0, SEEK_CUR)) == 0 && ::fsync(fd) == 0;
          if (!done && why->empty()) *why = Errno("cannot be rewritten");
        }
        if (!done) {
          // Back as before, still under the locks, so no delivery came between.
          std::string restore;
          if (!RewriteInPlace(fd, record.strKeptCopy, &restore)) *why += "; not restored: " + restore;
          const MailUndoRecord::Appended& a =
              record.vecAppended.empty() ? MailUndoRecord::Appended{} : record.vecAppended[0];
          if (!a.strPath.empty() &&
              (a.bCreated ? ::unlink(targetPath.c_str()) != 0 && errno != ENOENT
                          : targetLock.Descriptor() >= 0 &&
                                ::ftruncate(targetLock.Descriptor(), static_cast<off_t>(a.nOldSize)) != 0))
            *why += "; " + targetPath.string() + " not cut back";
        }
        RemoveSynced(marker);
        return done;
      },
      {source.pLock.get(), &targetLock}, &error);
  return ok ? std::string() : error;
}

std::string MailSourceProvider::WriteBackMaildir(Source& source, const Change& change) {
  MailUndoRecord record;
  record.kind = MailUndoRecord::Kind::maildir;
  record.strSource = source.path.string();
  const fs::path targetDir = source.path / MaildirPlusName(change.strTarget);
  std::vector<char> state(source.vecMessages.size(), 0);  // 1 removed, 2 filed, 3 both
  for (std::uint32_t i : change.vecRemoved) state[i] |= 1;
  for (std::uint32_t i : change.vecFiled) state[i] |= 2;
  std::string error;
  if (!MakeFolder(change.keep / "files", 0700, &error)) return "the journal's copy cannot be made: " + error;
  for (std::size_t i = 0; i < state.size(); ++i) {
    if (!state[i]) continue;
    // Where the message is now: a mail client may have marked it since the read.
    fs::path file = source.vecMessages[i].strFile;
    if (const auto now = FindMaildirMessage(file)) file = *now;
    MailUndoRecord::FileChange f{file.string(), {}, {}, state[i] == 3};
    if (state[i] & 2) f.strNewPath = (targetDir / file.parent_path().filename() / file.filename()).string();
    if (state[i] == 1) {
      f.strKeptCopy = (change.keep / "files" / std::to_string(i + 1)).string();
      if (!CopyFileSynced(file, f.strKeptCopy, &error)) return "the journal's copy cannot be made: " + error;
    }
    record.vecFiles.push_back(std::move(f));
  }
  record.nMessages = static_cast<std::uint32_t>(record.vecFiles.size());
  if (!m_pJournal->AppendDurable(EncodeMailRecord(record)))
    return "the journal cannot be written: " + platform::ToUtf8(m_pJournal->Path());

  bool ok = change.vecFiled.empty() || MakeMaildir(targetDir, source.path, &error);
  for (std::size_t k = 0; ok && k < record.vecFiles.size(); ++k) {
    const MailUndoRecord::FileChange& f = record.vecFiles[k];
    // A client renaming the file meanwhile makes the first try miss it; the
    // message is then found again under its base name.
    for (int attempt = 0; attempt < 3; ++attempt) {
      const std::optional<fs::path> now = FindMaildirMessage(f.strOldPath);
      if (!now) break;  // gone already: nothing left to dispose of
      error.clear();
      struct stat st {};
      const bool link = ::lstat(now->c_str(), &st) == 0 && S_ISLNK(st.st_mode);
      if (f.strNewPath.empty()) {
        ok = ::unlink(now->c_str()) == 0;
        if (!ok) error = Errno(now->string());
      } else if (f.bMoved && !link) {
        ok = RenameNoReplace(*now, f.strNewPath);  // trash, move
        if (!ok) error = errno == EEXIST ? f.strNewPath + ": a file of that name is there" : Errno(now->string());
      } else {
        // copy; or a link moved: its bytes, as a link would point elsewhere
        // from the new folder
        ok = CopyFileSynced(*now, f.strNewPath, &error, platform::Access::likeSource, ModeOf(*now, 0600));
        if (ok && f.bMoved && ::unlink(now->c_str()) != 0) {
          error = Errno(now->string());
          ok = false;
        }
      }
      if (ok || errno != ENOENT) break;
      ok = true;  // renamed under our hands: look again
    }
  }
  if (ok) return {};
  for (const MailUndoOutcome::Failure& f : UndoMailWriteBack(record).vecFailures)
    error += "; not restored: " + f.strWhat + ": " + f.strReason;
  return error;
}

}  // namespace mailio
