// Mail sources cleaned as databases: an mbox file or a maildir given to a
// run is read into a temporary database (in the run's own locked folder in
// the cache, platform/CacheFolder.h, on disk), judged there by the engine
// like any database, and the outcome is written back in the source's own
// format: kept messages keep every byte.
//
// - Folders: an mbox is one folder named by its file name; a maildir is a
//   folder named by its base name, each Maildir++ sub folder ".A.B" the
//   folder "A\B". Messages in file order (mbox) or by file name without the
//   ":2," flags part, new/ and cur/ together (maildir).
// - A source with one message that cannot be read (no header lines, a
//   truncated last line, a file that cannot be read) is refused whole and
//   left untouched: "Source not read: ".
// - Write-back: new-file mode writes DIR/ + the source's name (-2, -3 ...
//   when taken) with the kept messages. Otherwise the change is first kept
//   for undo (SourceUndo.h): a record in the run's journal, an mbox's
//   original in the folder beside it (the journal's path + ".d"), then: an mbox is
//   rewritten in place under its dotlock and fcntl lock, held from the read
//   on; trashed, moved or copied messages are appended to the mbox "Trash"
//   or NAME beside it, or filed into the Maildir++ folder ".Trash"/".NAME".
//   Any failure: "Source not written back: ", the source as before.
//
// Memory: the messages are streamed; per message only its place in the
// source is held.
//
// One run thread uses a provider; it removes its temporary folder when
// destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/Run.h"
#include "engine/journal/RunJournal.h"
#include "mail/SourceLock.h"
#include "platform/CacheFolder.h"

namespace mailio {

// True when path is an mbox file (its first line starts with "From ") or a
// maildir (a folder holding cur and new); a trailing "/" is ignored.
bool IsMailSource(const std::filesystem::path& path);

struct MailSourceSettings {
  bool bModifyOriginal = false;
  int nAction = 0;                  // 0 delete, 1 trash, 2 move, 3 copy
  std::string strSubFolder;         // move and copy
  std::string strNewFilesFolder;    // new-file mode
  bool bDryRun = false;
  bool bReadBody = true;            // the run compares bodies or attachments
  // The run's Stop flag (not owned; null: none): once it reads 0 a source
  // being read is given up, left as it was, and Prepare fails nothing.
  const std::atomic<std::uint8_t>* pRunning = nullptr;
};

class MailSourceProvider : public SourceProvider {
public:
  explicit MailSourceProvider(MailSourceSettings settings);
  ~MailSourceProvider() override;
  MailSourceProvider(const MailSourceProvider&) = delete;
  MailSourceProvider& operator=(const MailSourceProvider&) = delete;

  // The run's journal, where each write-back is recorded before it changes
  // its source (not owned; outlives the provider). Without one a source is
  // never changed in place.
  void SetJournal(journal::RunJournal* pJournal);
  // Whether any source was refused or not written back (exit status 1).
  bool AnyFailed() const { return m_bAnyFailed; }

  bool Handles(const std::u16string& source) override;
  std::u16string Prepare(const std::u16string& source, std::u16string* failureRow) override;
  std::u16string NewFilePath(const std::u16string& source) override;
  std::u16string WorkCopyPath(const std::u16string& source) override;
  std::vector<std::u16string> Finish(const std::u16string& source, const std::u16string& workPath) override;

  struct Message {            // one message's place in its source
    std::uint64_t nOffset = 0, nLength = 0;  // mbox: its entry
    std::string strFile;      // maildir: its file
  };
  struct Source {
    bool bMaildir = false;
    std::filesystem::path path;      // without a trailing "/"
    std::filesystem::path workDb;
    std::vector<Message> vecMessages;
    std::unordered_map<NOTEID, std::uint32_t> mapIdToMessage;
    std::unique_ptr<MboxLock> pLock;  // held from the read to the rewrite
    std::filesystem::path newFile;    // new-file mode
    std::vector<std::u16string> vecRows;  // found while reading, logged at the end
  };

private:
  bool EnsureTempFolder(std::string* error);
  bool ReadSource(Source& source, std::string* error);
  std::string WriteBack(Source& source, const std::filesystem::path& workDb);
  struct Change;  // what a write-back does: removed, filed, where
  std::string WriteBackMbox(Source& source, const Change& change);
  std::string WriteBackMaildir(Source& source, const Change& change);

  MailSourceSettings m_settings;
  platform::RunCacheFolder m_cache;    // this run's own, locked while it lives
  std::filesystem::path m_tempFolder;  // m_cache's path once made
  journal::RunJournal* m_pJournal = nullptr;
  std::filesystem::path m_journalFolder;  // kept originals, beside the journal
  std::map<std::u16string, Source> m_mapSources;
  int m_nWriteBacks = 0;
  bool m_bAnyFailed = false;
  int m_nSources = 0;
};

}  // namespace mailio
