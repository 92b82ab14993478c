// What a mail source's write-back keeps so that it can be reversed, and the
// reversal. Before a source is changed, its record is saved, durably, in a
// folder of the run's journal: an mbox's complete original, the sizes the
// mboxes it appends to had before, and for a maildir every file it removes
// (its bytes) or files elsewhere (its new name). Undo gives the source back
// byte for byte: the mbox rewritten in place under its locks from the kept
// copy, the appended mboxes cut back, the maildir's files under their old
// names. Undo is idempotent: what is already back is left alone.
//
// Plain functions; one thread per record at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mailio {

struct MailUndoRecord {
  enum class Kind { mbox, maildir };
  Kind kind = Kind::mbox;
  std::string strSource;    // the mbox file or the maildir
  std::string strKeptCopy;  // mbox: its complete original
  struct Appended {         // an mbox this write-back appended to
    std::string strPath;
    std::uint64_t nOldSize = 0;
    bool bCreated = false;  // it did not exist before
  };
  std::vector<Appended> vecAppended;
  struct FileChange {        // a maildir message file
    std::string strOldPath;  // where it was
    std::string strKeptCopy; // its bytes, when it was removed; else empty
    std::string strNewPath;  // where it was filed (trash, move, copy); else empty
    bool bMoved = false;     // filed by renaming (trash, move), not copied
  };
  std::vector<FileChange> vecFiles;
};

// Writes record to file (JSON), synced to disk before returning. False with
// *error when it cannot be written.
[[nodiscard]] bool SaveUndoRecord(const MailUndoRecord& record, const std::filesystem::path& file,
                                  std::string* error);
// Reads a record that SaveUndoRecord wrote; nullopt with *error otherwise.
std::optional<MailUndoRecord> LoadUndoRecord(const std::filesystem::path& file, std::string* error);

// Gives the source back as it was. False with *error when something could
// not be restored (the rest is restored all the same).
[[nodiscard]] bool UndoMailWriteBack(const MailUndoRecord& record, std::string* error);

// Copies src to dst (created, or replaced) and syncs it. False with *error.
[[nodiscard]] bool CopyFileSynced(const std::filesystem::path& src, const std::filesystem::path& dst,
                                  std::string* error);
// Writes the bytes of file src into the open descriptor fd from offset 0
// and cuts fd there (an in-place rewrite that keeps the file's inode).
[[nodiscard]] bool RewriteInPlace(int fd, const std::filesystem::path& src, std::string* error);

}  // namespace mailio
