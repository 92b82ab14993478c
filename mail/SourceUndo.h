// What a mail source's write-back keeps so that it can be reversed, and the
// reversal. Before a source is changed, one record of kind "mbox" or
// "maildir" goes into the run's journal (engine/journal), written and
// synced, naming what undo needs: an mbox's complete original (a file in
// the journal's folder), the size and digest of what the rewrite leaves, and
// for each mbox appended to (Trash, NAME) its old size and the digest of
// what was appended; for a maildir every file it removes (a kept copy) or
// files elsewhere (its new name).
//
// Undo gives the source back byte for byte and keeps mail that arrived
// after the run: an mbox that still starts with what the rewrite left gets
// its original back with the later mail after it; one that starts with its
// original is in place; one that changed otherwise is left alone (its
// original stays in the journal's folder, and the row says where). Every
// in-place rewrite is announced by a marker file beside the kept original,
// so a process killed in the middle leaves undo enough to finish the work.
// Maildir files come back by rename, so each is back whole or not at all.
//
// Plain functions; one thread per record at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/journal/JournalFile.h"
#include "platform/CreateNew.h"

namespace mailio {

inline constexpr std::string_view kMboxRecordKind = "mbox";
inline constexpr std::string_view kMaildirRecordKind = "maildir";

struct MailUndoRecord {
  enum class Kind { mbox, maildir };
  Kind kind = Kind::mbox;
  std::string strSource;        // the mbox file or the maildir
  std::uint32_t nMessages = 0;  // messages the write-back disposed of
  // mbox
  std::string strKeptCopy;      // its complete original
  std::uint64_t nRewrittenSize = 0;
  std::string rewrittenDigest;  // SHA-256 of what the rewrite left
  struct Appended {             // an mbox this write-back appended to
    std::string strPath;
    std::uint64_t nOldSize = 0;
    std::uint64_t nLength = 0;  // bytes appended
    std::string digest;         // their SHA-256
    bool bCreated = false;      // it did not exist before
  };
  std::vector<Appended> vecAppended;
  // maildir
  struct FileChange {         // a maildir message file
    std::string strOldPath;   // where it was
    std::string strKeptCopy;  // its bytes, when it was removed; else empty
    std::string strNewPath;   // where it was filed (trash, move, copy); else empty
    bool bMoved = false;      // filed by renaming (trash, move), not copied
  };
  std::vector<FileChange> vecFiles;
};

journal::JournalRecord EncodeMailRecord(const MailUndoRecord& record);
// nullopt when the record is not a mail record of the layout above.
std::optional<MailUndoRecord> DecodeMailRecord(const journal::JournalRecord& record);

// Registers the undo of the kinds "mbox" and "maildir" (RecordKinds.h).
// Both front ends call it at start, before any undo.
void RegisterMailRecordKinds();

// The marker that an mbox write-back puts beside the kept original while it
// changes the source and the mboxes it appends to.
std::filesystem::path WriteBackMarker(const MailUndoRecord& record);

// What undoing one record did.
struct MailUndoOutcome {
  std::size_t nRestored = 0;  // messages given back now
  struct Failure {
    std::string strWhat;      // the file that could not be restored
    std::string strReason;
  };
  std::vector<Failure> vecFailures;
};
MailUndoOutcome UndoMailWriteBack(const MailUndoRecord& record);
// The maildir part of UndoMailWriteBack (MaildirUndo.cpp).
MailUndoOutcome UndoMaildirRecord(const MailUndoRecord& record);

// SHA-256 of bytes fed in pieces.
class StreamDigest {
public:
  StreamDigest();
  ~StreamDigest();
  StreamDigest(const StreamDigest&) = delete;
  StreamDigest& operator=(const StreamDigest&) = delete;
  void Update(std::string_view bytes);
  std::string Final();  // 32 raw bytes

private:
  void* m_ctx;  // EVP_MD_CTX, owned
};

// SHA-256 of len bytes of the file open on fd from offset from; nullopt
// when they cannot be read.
std::optional<std::string> DigestOfRange(int fd, std::uint64_t from, std::uint64_t len);

// Copies src (read through a link) to dst, created new (never through a
// name that is there), and syncs it. False with *error naming the cause; a
// copy cut short (a full disk) is removed again.
[[nodiscard]] bool CopyFileSynced(const std::filesystem::path& src, const std::filesystem::path& dst,
                                  std::string* error, platform::Access access = platform::Access::ownerOnly,
                                  mode_t sourceMode = 0600);
// Renames from to to unless to is taken (then false, errno EEXIST).
[[nodiscard]] bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
// Writes the bytes of file src into the open descriptor fd from offset 0
// and cuts fd there (an in-place rewrite that keeps the file's inode).
[[nodiscard]] bool RewriteInPlace(int fd, const std::filesystem::path& src, std::string* error);
// Writes a small file durably: its bytes and its folder's entry synced.
[[nodiscard]] bool WriteFileSynced(const std::filesystem::path& file, std::string_view bytes);
// Removes a file and syncs its folder. False when it is still there.
bool RemoveSynced(const std::filesystem::path& file);

}  // namespace mailio
