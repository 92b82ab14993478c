#include "mail/SourceUndo.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/journal/RecordKinds.h"
#include "mail/SourceLock.h"
#include "platform/Text.h"

namespace mailio {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUndoMarker = "undoing";

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }


// Copies everything readable from in to out.
bool Pump(int in, int out) {
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAll(out, std::string_view(buf, static_cast<std::size_t>(n)))) return false;
  }
}

// Reads len bytes of fd from offset from, in pieces, into each.
template <typename Each>
bool ReadRange(int fd, std::uint64_t from, std::uint64_t len, Each each) {
  char buf[1 << 16];
  while (len > 0) {
    const std::size_t want = len < sizeof buf ? static_cast<std::size_t>(len) : sizeof buf;
    const ssize_t n = ::pread(fd, buf, want, static_cast<off_t>(from));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    each(std::string_view(buf, static_cast<std::size_t>(n)));
    from += static_cast<std::uint64_t>(n);
    len -= static_cast<std::uint64_t>(n);
  }
  return true;
}

std::uint64_t SizeOf(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Makes sure the file open on fd can grow to size bytes without running out
// of space, before a byte of it changes: its blocks are allocated (the size
// stays), or where the file system cannot, its free space is checked.
bool ReserveSpace(int fd, std::uint64_t size, std::string* error) {
  const std::uint64_t now = SizeOf(fd);
  if (size <= now) return true;
  if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return true;
  if (errno == EOPNOTSUPP || errno == ENOSYS) {
    struct statvfs vfs {};
    if (::fstatvfs(fd, &vfs) != 0) return true;  // not known: the write will tell
    const std::uint64_t blocks = ::geteuid() == 0 ? vfs.f_bfree : vfs.f_bavail;
    if (blocks * vfs.f_frsize >= size - now) return true;
    errno = ENOSPC;
  }
  *error = std::strerror(errno);
  return false;
}

// Whether the file open on fd starts with every byte of the file at path.
bool StartsWithFile(int fd, const fs::path& path) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const std::uint64_t size = SizeOf(in);
  bool same = SizeOf(fd) >= size;
  std::uint64_t at = 0;
  same = same && ReadRange(in, 0, size, [&](std::string_view piece) {
           std::string mine(piece.size(), '\0');
           if (!same || ::pread(fd, mine.data(), mine.size(), static_cast<off_t>(at)) != static_cast<ssize_t>(mine.size()) ||
               mine != piece)
             same = false;
           at += piece.size();
         });
  ::close(in);
  return same;
}

bool ReadWholeFile(const fs::path& path, std::string* bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes->clear();
  const bool ok = ReadRange(fd, 0, SizeOf(fd), [&](std::string_view piece) { bytes->append(piece); });
  ::close(fd);
  return ok;
}

// The source becomes its kept original followed by later (mail that came
// after the run), written in place.
bool RestoreInPlace(int fd, const std::string& keptCopy, std::string_view later, std::string* error) {
  const int in = ::open(keptCopy.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *error = Errno(keptCopy);
    return false;
  }
  const bool ok = ::lseek(fd, 0, SEEK_SET) == 0 && Pump(in, fd) && WriteAll(fd, later) &&
                  ::ftruncate(fd, ::lseek(fd, 0, SEEK_CUR)) == 0 && ::fsync(fd) == 0;
  if (!ok) *error = Errno("cannot be rewritten");
  ::close(in);
  return ok;
}

// An mbox appended to: cut back to its old size when it ends with exactly
// what was appended (or, after a write-back cut short, whatever it holds
// beyond that size). Returns whether it changed now.
bool UndoAppended(const MailUndoRecord::Appended& a, bool bCutShort, MailUndoOutcome& out) {
  std::error_code ec;
  if (!fs::exists(a.strPath, ec)) return false;
  MboxLock lock;
  std::string why;
  if (!lock.Acquire(a.strPath, &why)) {
    out.vecFailures.push_back({a.strPath, why});
    return false;
  }
  const int fd = lock.Descriptor();
  const std::uint64_t size = SizeOf(fd);
  if (size <= a.nOldSize && !(a.bCreated && size == 0)) return false;
  if (!bCutShort && (size != a.nOldSize + a.nLength || DigestOfRange(fd, a.nOldSize, a.nLength) != a.digest)) {
    out.vecFailures.push_back({a.strPath, "it changed since the run; the messages filed in it stay"});
    return false;
  }
  const bool ok = a.bCreated ? ::unlink(a.strPath.c_str()) == 0
                             : ::ftruncate(fd, static_cast<off_t>(a.nOldSize)) == 0 && ::fsync(fd) == 0;
  if (!ok) out.vecFailures.push_back({a.strPath, Errno("cannot be cut back")});
  return ok;
}

MailUndoOutcome UndoMbox(const MailUndoRecord& r) {
  MailUndoOutcome out;
  const fs::path keep = fs::path(r.strKeptCopy).parent_path();
  const fs::path cutShort = WriteBackMarker(r), undoing = keep / kUndoMarker;
  std::error_code ec;
  const bool bCutShort = fs::exists(cutShort, ec);
  bool changed = false;
  {
    MboxLock lock;
    std::string why;
    if (!lock.Acquire(r.strSource, &why)) {
      out.vecFailures.push_back({r.strSource, why});
      return out;
    }
    const int fd = lock.Descriptor();
    std::string later;
    // Each restore ends whole even when this process is killed in the middle,
    // and starts only when the space for all of it is there.
    const auto restore = [&](std::string_view after, std::string* error) {
      std::error_code sizeError;
      const std::uint64_t keptSize = fs::file_size(r.strKeptCopy, sizeError);
      if (sizeError) {
        *error = r.strKeptCopy + ": " + sizeError.message();
        return false;
      }
      return ReserveSpace(fd, keptSize + after.size(), error) &&
             FinishEvenIfKilled([&](std::string* e) { return RestoreInPlace(fd, r.strKeptCopy, after, e); }, {&lock},
                                error);
    };
    if (bCutShort) {
      // The rewrite was cut short under the locks: nothing came after it.
      changed = restore({}, &why);
    } else if (fs::exists(undoing, ec)) {
      // A former undo was cut short; the mail that came later is kept here.
      if (!ReadWholeFile(undoing, &later)) why = Errno(undoing.string());
      else changed = restore(later, &why);
    } else if (StartsWithFile(fd, r.strKeptCopy)) {
      // In place already.
    } else {
      const std::uint64_t size = SizeOf(fd);
      if (size < r.nRewrittenSize || DigestOfRange(fd, 0, r.nRewrittenSize) != r.rewrittenDigest) {
        out.vecFailures.push_back(
            {r.strSource, "it changed since the run; its original is kept in " + r.strKeptCopy});
        return out;
      }
      later.resize(size - r.nRewrittenSize);
      std::error_code sizeError;
      const std::uint64_t keptSize = fs::file_size(r.strKeptCopy, sizeError);
      if (::pread(fd, later.data(), later.size(), static_cast<off_t>(r.nRewrittenSize)) !=
          static_cast<ssize_t>(later.size()))
        why = Errno("cannot be read");
      else if (sizeError)
        why = r.strKeptCopy + ": " + sizeError.message();
      // The space first, so that a full disk leaves no record of later mail
      // behind that a next undo would trust over the mbox.
      else if (!ReserveSpace(fd, keptSize + later.size(), &why)) {
      } else if (!WriteFileSynced(undoing, later))
        why = Errno("the journal's folder cannot be written");
      else if (!(changed = restore(later, &why)) && SizeOf(fd) == size &&
               DigestOfRange(fd, 0, r.nRewrittenSize) == r.rewrittenDigest) {
        // Failed before a byte changed: the mbox, not this copy, holds the
        // later mail, and gets more of it before the next undo.
        std::string tail(later.size(), '\0');
        if (::pread(fd, tail.data(), tail.size(), static_cast<off_t>(r.nRewrittenSize)) ==
                static_cast<ssize_t>(tail.size()) &&
            tail == later)
          RemoveSynced(undoing);
      }
    }
    if (!why.empty()) {
      out.vecFailures.push_back({r.strSource, why});
      return out;
    }
    RemoveSynced(undoing);
  }
  for (const MailUndoRecord::Appended& a : r.vecAppended) changed = UndoAppended(a, bCutShort, out) || changed;
  if (out.vecFailures.empty()) RemoveSynced(cutShort);
  if (changed) out.nRestored = r.nMessages;
  return out;
}

void PutU64(journal::BodyWriter& w, std::uint64_t v) {
  w.U32(static_cast<std::uint32_t>(v)).U32(static_cast<std::uint32_t>(v >> 32));
}

std::uint64_t GetU64(journal::BodyReader& r) {
  const std::uint64_t low = r.U32();
  return low | (static_cast<std::uint64_t>(r.U32()) << 32);
}

void UndoMailRecords(const std::string& target, const std::vector<const journal::JournalRecord*>& newestFirst,
                     journal::UndoSession& session) {
  for (const journal::JournalRecord* record : newestFirst) {
    const std::optional<MailUndoRecord> r = DecodeMailRecord(*record);
    if (!r) {
      session.NotRestored(platform::FromUtf8(target), u"the journal's record of it is damaged");
      continue;
    }
    const MailUndoOutcome out = UndoMailWriteBack(*r);
    for (std::size_t i = 0; i < out.vecFailures.size(); ++i) {
      const bool last = i + 1 == out.vecFailures.size() && out.nRestored == 0;
      session.NotRestored(platform::FromUtf8(out.vecFailures[i].strWhat),
                          platform::FromUtf8(out.vecFailures[i].strReason), last);
    }
    if (out.nRestored > 0) session.Restored(out.nRestored);
    else if (out.vecFailures.empty()) session.AlreadyInPlace();
  }
}

}  // namespace

StreamDigest::StreamDigest() : m_ctx(EVP_MD_CTX_new()) {
  if (m_ctx) EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(m_ctx), EVP_sha256(), nullptr);
}

StreamDigest::~StreamDigest() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_ctx)); }

void StreamDigest::Update(std::string_view bytes) {
  if (m_ctx) EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_ctx), bytes.data(), bytes.size());
}

std::string StreamDigest::Final() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!m_ctx || EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_ctx), digest, &size) != 1) return {};
  return std::string(reinterpret_cast<const char*>(digest), size);
}

std::optional<std::string> DigestOfRange(int fd, std::uint64_t from, std::uint64_t len) {
  StreamDigest digest;
  if (!ReadRange(fd, from, len, [&](std::string_view piece) { digest.Update(piece); })) return std::nullopt;
  return digest.Final();
}

journal::JournalRecord EncodeMailRecord(const MailUndoRecord& r) {
  journal::BodyWriter w;
  w.U32(r.nMessages);
  if (r.kind == MailUndoRecord::Kind::mbox) {
    w.Text(r.strKeptCopy);
    PutU64(w, r.nRewrittenSize);
    w.Text(r.rewrittenDigest).U32(static_cast<std::uint32_t>(r.vecAppended.size()));
    for (const auto& a : r.vecAppended) {
      w.Text(a.strPath);
      PutU64(w, a.nOldSize);
      PutU64(w, a.nLength);
      w.Text(a.digest).U8(a.bCreated ? 1 : 0);
    }
  } else {
    w.U32(static_cast<std::uint32_t>(r.vecFiles.size()));
    for (const auto& f : r.vecFiles) w.Text(f.strOldPath).Text(f.strKeptCopy).Text(f.strNewPath).U8(f.bMoved ? 1 : 0);
  }
  const bool mbox = r.kind == MailUndoRecord::Kind::mbox;
  return {std::string(mbox ? kMboxRecordKind : kMaildirRecordKind), r.strSource, w.Take()};
}

std::optional<MailUndoRecord> DecodeMailRecord(const journal::JournalRecord& record) {
  MailUndoRecord r;
  if (record.strKind == kMboxRecordKind) r.kind = MailUndoRecord::Kind::mbox;
  else if (record.strKind == kMaildirRecordKind) r.kind = MailUndoRecord::Kind::maildir;
  else return std::nullopt;
  r.strSource = record.strTarget;
  journal::BodyReader in(record.body);
  r.nMessages = in.U32();
  if (r.kind == MailUndoRecord::Kind::mbox) {
    r.strKeptCopy = in.Text();
    r.nRewrittenSize = GetU64(in);
    r.rewrittenDigest = in.Text();
    for (std::uint32_t n = in.U32(); n > 0 && !in.Failed(); --n) {
      MailUndoRecord::Appended a;
      a.strPath = in.Text();
      a.nOldSize = GetU64(in);
      a.nLength = GetU64(in);
      a.digest = in.Text();
      a.bCreated = in.U8() != 0;
      r.vecAppended.push_back(std::move(a));
    }
  } else {
    for (std::uint32_t n = in.U32(); n > 0 && !in.Failed(); --n) {
      MailUndoRecord::FileChange f;
      f.strOldPath = in.Text();
      f.strKeptCopy = in.Text();
      f.strNewPath = in.Text();
      f.bMoved = in.U8() != 0;
      r.vecFiles.push_back(std::move(f));
    }
  }
  if (in.Failed() || !in.AtEnd()) return std::nullopt;
  return r;
}

void RegisterMailRecordKinds() {
  journal::RegisterRecordKind(std::string(kMboxRecordKind), &UndoMailRecords);
  journal::RegisterRecordKind(std::string(kMaildirRecordKind), &UndoMailRecords);
}

fs::path WriteBackMarker(const MailUndoRecord& record) {
  return fs::path(record.strKeptCopy).parent_path() / "writing";
}

bool CopyFileSynced(const fs::path& src, const fs::path& dst, std::string* error, platform::Access access,
                    mode_t sourceMode) {
  const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *error = Errno(src.string());
    return false;
  }
  const int out = platform::CreateNewFile(dst.string(), access, sourceMode);
  if (out < 0) {
    *error = Errno(dst.string());
    ::close(in);
    return false;
  }
  bool ok = Pump(in, out) && ::fsync(out) == 0;
  if (!ok) *error = Errno(dst.string());
  ::close(in);
  if (::close(out) != 0 && ok) {
    *error = Errno(dst.string());
    ok = false;
  }
  if (!ok) ::unlink(dst.c_str());  // a copy cut short is no copy
  return ok;
}

bool RenameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a hard link never replaces either.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

bool RewriteInPlace(int fd, const fs::path& src, std::string* error) {
  return RestoreInPlace(fd, src.string(), {}, error);
}

static bool SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool WriteFileSynced(const fs::path& file, std::string_view bytes) {
  const fs::path temp = file.string() + ".new";
  ::unlink(temp.c_str());  // left by a process killed while writing it
  const int fd = platform::CreateNewFile(temp.string(), platform::Access::ownerOnly);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) {
    const int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return false;
  }
  return SyncFolder(file.parent_path());
}

bool RemoveSynced(const fs::path& file) {
  if (::unlink(file.c_str()) != 0 && errno != ENOENT) return false;
  SyncFolder(file.parent_path());
  return true;
}

MailUndoOutcome UndoMailWriteBack(const MailUndoRecord& record) {
  return record.kind == MailUndoRecord::Kind::mbox ? UndoMbox(record) : UndoMaildirRecord(record);
}

}  // namespace mailio
