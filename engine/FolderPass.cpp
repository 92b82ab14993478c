#include "engine/FolderPass.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "engine/DuplicateKeys.h"
#include "engine/RunLog.h"
#include "engine/journal/JournalSink.h"
#include "engine/RunProgress.h"
#include "platform/Text.h"

namespace {

// Open flags of the folder; when the first open fails the second is tried.
constexpr int kFolderOpenFlags = 0x10001;
// Disposals committed together. Each document stays its own all-or-nothing
// unit inside the batch; the batch only saves the cost of a commit per
// document. A Stop still commits the open batch (its journal records are
// synced first), so the batch is kept small enough for that to be quick.
constexpr int kBatchDocuments = 1024;

enum class Disposal { deleteNoStub, action };

struct FolderCounters {
  std::uint64_t found = 0;
  std::uint64_t duplicates = 0;
  std::uint64_t notSaved = 0;  // nothing increments it
};

std::u16string IdText(NOTEID id) {
  return platform::DecimalText(static_cast<std::int32_t>(id));
}

std::u16string StatusText(LNSTATUS status) {
  std::u16string text = platform::FromUtf8(LNGetErrorMessageText(status));
  return text.empty() ? u"Notes error " + platform::DecimalText(static_cast<std::int32_t>(status)) : text;
}

std::u16string CounterText(std::uint64_t value) {
  return platform::DecimalText(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

// Groups the disposals of one pass into a few commits. The transaction is
// begun at the first disposal, so a pass without duplicates never takes the
// database's write lock.
class BatchCommit {
public:
  // syncJournal, when set, runs before each commit; false means the batch's
  // disposals are not durably journaled, and the batch is rolled back.
  BatchCommit(LNDatabase& db, bool bActive, std::function<bool()> syncJournal = {})
      : m_db(db), m_bActive(bActive), m_syncJournal(std::move(syncJournal)) {}
  ~BatchCommit() {
    // The documents disposed of so far are whole units; keep them.
    try {
      End();
    } catch (...) {
    }
  }
  BatchCommit(const BatchCommit&) = delete;
  BatchCommit& operator=(const BatchCommit&) = delete;

  void BeforeChange() {
    if (m_bOpen || !m_bActive) return;
    // A database that refuses a transaction (opened read-only, or locked by
    // another writer) is changed without one; each change then fails or
    // succeeds on its own and is reported so.
    try {
      m_bOpen = m_db.BeginTransaction() == LNNOERROR;
    } catch (...) {
      m_bActive = false;
    }
  }
  bool IsOpen() const { return m_bOpen; }
  void Counted() {
    if (++m_nDocuments >= kBatchDocuments) End();
  }
  // Commits the open batch. A commit that fails (the database stays busy
  // past the timeout) rolls the batch back, so the next batch starts afresh
  // instead of nesting inside one that can only roll back: Failed() then
  // says so and LostDocuments() counts the disposals that did not happen.
  void End() {
    const int nDocuments = std::exchange(m_nDocuments, 0);
    if (!m_bOpen) return;
    m_bOpen = false;
    try {
      // Disposals whose entries are not durably journaled must not stay.
      if (m_syncJournal && !m_syncJournal()) {
        m_strError = u"the journal could not be written";
      } else if (m_db.CommitTransaction() == LNNOERROR) {
        return;
      } else {
        m_strError = u"the changes could not be committed";
      }
    } catch (LNSTATUS status) {
      m_strError = platform::FromUtf8(LNGetErrorMessageText(status));
    }
    m_nLost += nDocuments;
    try {
      m_db.RollbackTransaction();
    } catch (...) {
      // Closing the database rolls the batch back then.
    }
  }
  [[nodiscard]] bool Failed() const { return m_nLost > 0 || !m_strError.empty(); }
  [[nodiscard]] std::uint64_t LostDocuments() const { return m_nLost; }
  [[nodiscard]] const std::u16string& Error() const { return m_strError; }

private:
  LNDatabase& m_db;
  bool m_bActive;
  std::function<bool()> m_syncJournal;
  bool m_bOpen = false;
  int m_nDocuments = 0;
  std::uint64_t m_nLost = 0;
  std::u16string m_strError;  // why the failed commit failed
};

// One document's changes, all or nothing: Commit keeps them; leaving the
// scope without Commit undoes every one of them.
class DocumentUnit {
public:
  explicit DocumentUnit(LNDatabase& db) : m_db(db) {
    m_bOpen = m_db.BeginTransaction() == LNNOERROR;
  }
  ~DocumentUnit() {
    if (!m_bOpen) return;
    try {
      m_db.RollbackTransaction();
    } catch (...) {
      // Nothing more can be done here; the outer batch still holds the
      // earlier documents, and this one is reported as not disposed of.
    }
  }
  DocumentUnit(const DocumentUnit&) = delete;
  DocumentUnit& operator=(const DocumentUnit&) = delete;
  [[nodiscard]] bool IsOpen() const { return m_bOpen; }
  // A commit that fails leaves the unit open, so the destructor rolls it
  // back instead of leaving a transaction that later changes would nest in.
  [[nodiscard]] bool Commit() {
    if (!m_bOpen) return false;
    if (m_db.CommitTransaction() != LNNOERROR) return false;
    m_bOpen = false;
    return true;
  }

private:
  LNDatabase& m_db;
  bool m_bOpen = false;
};

class FolderPass {
public:
  FolderPass(PassContext& ctx, Disposal disposal, LNViewFolder target, int action)
      : m_ctx(ctx), m_s(ctx.settings), m_disposal(disposal), m_target(std::move(target)),
        m_nAction(action) {}

  bool Run(NOTEID folderId);

private:
  bool Running() const { return m_s.m_bRunning.load() != 0; }
  void HandleEntry(const LNViewFolder& folder, LNINT i, BatchCommit& batch);
  void TellProgress(NOTEID id);
  void LogKept(NOTEID id, const std::u16string& form);
  void Dispose(LNMailMessage& doc, NOTEID id, const KeyDigest& digest);
  bool CopyToTarget(LNMailMessage& doc, NOTEID id, bool bDeleteOriginal);
  [[nodiscard]] bool Journal(NOTEID id, NOTEID copyId = 0);
  [[nodiscard]] bool SyncJournal();
  void JournalFailed();
  void EndOfFolder(LNViewFolder& folder);
  void ReportIncomplete(const std::u16string& error);
  void CloseAfterFailure(LNMailMessage& mail);

  PassContext& m_ctx;
  RunSettings& m_s;
  Disposal m_disposal;
  LNViewFolder m_target;
  int m_nAction;
  FolderCounters m_counters;
  LNDocument m_doc;  // reused for every entry
  std::string m_strKey;  // the key as its digest reads it
  bool m_bBatchOpen = false;  // the disposal being made joins a batch transaction
  // The first error that made an entry unreadable, and how many were.
  std::u16string m_strEntryError;
  std::uint64_t m_nUnreadEntries = 0;
};

bool FolderPass::Run(NOTEID folderId) {
  LNDatabase& db = m_s.m_db;
  LNViewFolder folder;
  try {
    db.GetViewFolder(folderId, &folder);
    if (folder.Open(kFolderOpenFlags, db) != LNNOERROR) folder.Open(0, db);
    const LNINT n = folder.GetEntryCount();
    const bool bChanges = !m_ctx.bDryRun;
    {
      BatchCommit batch(db, bChanges, [this] { return SyncJournal(); });
      for (LNINT i = 0; i < n && !batch.Failed(); ++i) {
        m_strKey.clear();
        if (!Running()) break;
        HandleEntry(folder, i, batch);
        if (m_ctx.pProgress) TellProgress(folder[i].GetNoteID());
      }
      batch.End();
      if (batch.Failed()) {
        // The batch's duplicates are still in the database: no row may
        // count them as disposed of, and the pass ends at the error.
        m_counters.duplicates -= batch.LostDocuments();
        ReportIncomplete(batch.Error());
      }
    }
    EndOfFolder(folder);
    if (m_nUnreadEntries > 0)
      ReportIncomplete(m_strEntryError + u"; documents not read: " +
                       platform::DecimalText(static_cast<long long>(m_nUnreadEntries)));
  } catch (LNSTATUS status) {
    // A read given up for Stop is the end of a stopped run, not a failure.
    if (lnapi::ErrorCode(status) != LNERR_STOPPED) ReportIncomplete(StatusText(status));
  } catch (...) {
    // Treated like a Notes error outside the entries: the pass ends here.
    ReportIncomplete(u"unexpected error");
  }
  m_ctx.log.Flush();
  return Running();
}

// A document filed in several folders counts once, as in the total.
void FolderPass::TellProgress(NOTEID id) {
  const auto& ids = m_ctx.vecProgressIds;
  const auto at = std::lower_bound(ids.begin(), ids.end(), id);
  if (at == ids.end() || *at != id) return;
  const auto index = static_cast<std::size_t>(at - ids.begin());
  if (m_ctx.vecProgressTold[index]) return;
  m_ctx.vecProgressTold[index] = true;
  m_ctx.pProgress->DocumentJudged();
}

void FolderPass::HandleEntry(const LNViewFolder& folder, LNINT i, BatchCommit& batch) {
  LNMailMessage mail;
  try {
    const LNVFEntry entry = folder[i];
    if (entry.IsNull()) return;
    entry.GetDocument(&m_doc);
    m_doc.Open(0);
    if (!m_doc.IsOpen()) {
      m_ctx.log.WriteLogText(u"WARNING:Document cannot be opened\r\n");
      m_ctx.log.WriteLogText(u"\r\n");
      return;
    }
    mail = m_doc;
    m_doc.Close();
    mail.Open(0);
    const std::u16string form = platform::FromUtf8(mail.GetFormNote().Bytes());
    const NOTEID id = mail.GetNoteID();

    const DocumentKind kind = ClassifyDocument(mail);
    ++m_counters.found;
    bool bKeep = true;
    KeyDigest digest;
    try {
      if (kind == DocumentKind::mailItem) {
        if (m_s.m_bMailCriteria == 0 || !BuildMailKeyBytes(m_s, mail, m_strKey)) {
          mail.Close();
          return;
        }
      } else if (kind == DocumentKind::contact) {
        if (m_s.m_bContactCriteria == 0) {
          mail.Close();
          return;
        }
        BuildContactKeyBytes(m_s, mail, m_strKey);
      }
      // An empty key has nothing to compare: the document is kept and its
      // digest not registered.
      if (kind != DocumentKind::other && !m_strKey.empty()) {
        digest = DigestKeyBytes(m_strKey);
        bKeep = RegisterKey(m_s, digest);
        if (bKeep && m_ctx.bDryRun) m_ctx.mapKeptIds[digest] = id;
        if (bKeep && m_ctx.pReport) m_ctx.pReport->Kept(digest, id, m_ctx.strFolderName);
      }
    } catch (...) {
      // A key that cannot be composed: the document is skipped, counted in
      // found only, and neither map is touched.
      if (mail.IsOpen()) mail.Close();
      return;
    }
    if (!RegisterNote(m_s, id)) {
      mail.Close();
      return;
    }
    if (!bKeep && m_ctx.pReport) m_ctx.pReport->Duplicate(m_s, digest, mail, id);
    mail.Close();
    if (bKeep) {
      LogKept(id, form);
      return;
    }
    if (m_ctx.pSpare && !m_ctx.pSpare->Disposes(m_ctx.strSourcePath, digest, id)) {
      // Kept because the user said so: counted as saved, not as a duplicate.
      const std::u16string text = u"Item spared:\t" + IdText(id);
      m_ctx.log.AddLogRow(text);
      m_ctx.log.WriteLogText(text + u"\r\n");
      return;
    }
    if (!m_ctx.bDryRun) batch.BeforeChange();
    m_bBatchOpen = batch.IsOpen();
    // A disposal that throws did not happen: it is not counted.
    Dispose(mail, id, digest);
    ++m_counters.duplicates;
    batch.Counted();
  } catch (LNSTATUS status) {
    // An entry the store cannot read (a damaged file): go on with the next
    // one, and say at the end of the pass that the folder was not all read.
    if (m_nUnreadEntries++ == 0) m_strEntryError = StatusText(status);
    CloseAfterFailure(mail);
  } catch (...) {
    // Any other failure on this entry: go on with the next one.
    CloseAfterFailure(mail);
  }
}

void FolderPass::CloseAfterFailure(LNMailMessage& mail) {
  try {
    if (mail.IsOpen()) mail.Close();
    if (m_doc.IsOpen()) m_doc.Close();
  } catch (...) {
  }
}

void FolderPass::LogKept(NOTEID id, const std::u16string& form) {
  RunLog& log = m_ctx.log;
  log.WriteLogText(u"\r\nItem ID:\t" + IdText(id));
  log.WriteLogText(u"\r\n");
  log.WriteLogText(u"Item Type:\t" + form + u"\r\n");
  log.WriteLogText(u"Saving Item Id:\t" + IdText(id) + u"\r\n");
}

void FolderPass::Dispose(LNMailMessage& doc, NOTEID id, const KeyDigest& digest) {
  LNDatabase& db = m_s.m_db;
  if (m_ctx.bDryRun) {
    const auto kept = m_ctx.mapKeptIds.find(digest);
    const NOTEID keptId = kept != m_ctx.mapKeptIds.end() ? kept->second : 0;
    m_ctx.log.WriteLogText(u"Duplicate Item ID:\t" + IdText(id) + u" duplicate of " +
                           IdText(keptId) + u"\r\n");
    return;
  }
  if (m_disposal == Disposal::deleteNoStub) {
    if (Journal(id)) db.DeleteNote(id, UPDATE_NOSTUB);
    return;
  }
  switch (m_nAction) {
    case 1:
      if (Journal(id)) db.DeleteDocument(doc);
      break;
    case 2:
    case 3:
      if (m_ctx.bTargetMissing) break;
      if (!CopyToTarget(doc, id, m_nAction == 2)) {
        const std::u16string text =
            (m_nAction == 2 ? u"Item not moved:\t" : u"Item not copied:\t") + IdText(id);
        m_ctx.log.AddLogRow(text);
        m_ctx.log.WriteLogText(text + u"\r\n");
      }
      break;
    default:
      break;  // still counted as a duplicate
  }
}

// The copy is created, saved and filed in the sub folder, and (for a move)
// the original deleted, as one unit: any failure undoes all of it, so the
// original is never deleted unless its copy is safely in the sub folder.
bool FolderPass::CopyToTarget(LNMailMessage& doc, NOTEID id, bool bDeleteOriginal) {
  LNDatabase& db = m_s.m_db;
  try {
    DocumentUnit unit(db);
    if (!unit.IsOpen()) return false;
    LNDocument copy;
    if (db.CreateDocument(doc, &copy) != LNNOERROR) return false;
    if (copy.Save(0) != LNNOERROR) return false;
    copy.Close();
    if (m_target.FolderAddDocument(copy) != LNNOERROR) return false;
    if (!Journal(id, copy.GetNoteID())) return false;
    if (bDeleteOriginal && db.DeleteNote(id, UPDATE_NOSTUB) != LNNOERROR) return false;
    return unit.Commit();
  } catch (...) {
    return false;
  }
}

// The disposal's journal entry, made before the disposal and durable before
// it commits: at once when it commits on its own, else with its batch.
bool FolderPass::Journal(NOTEID id, NOTEID copyId) {
  JournalSink* journal = m_ctx.pJournal;
  if (!journal) return true;
  JournalSink::Disposal d;
  d.dwNoteId = id;
  d.nAction = m_disposal == Disposal::deleteNoStub ? 0 : m_nAction;
  d.dwCopyId = copyId;
  if (copyId != 0) d.dwTargetFolder = m_target.GetNoteID();
  if (journal->Record(m_s.m_db, d) && (m_bBatchOpen || journal->Sync())) return true;
  JournalFailed();
  return false;
}

bool FolderPass::SyncJournal() {
  if (!m_ctx.pJournal || m_ctx.pJournal->Sync()) return true;
  JournalFailed();
  return false;
}

// Never a disposal without its entry: the run stops here, as Stop would.
void FolderPass::JournalFailed() {
  m_s.m_bRunning = 0;
  const std::u16string row = m_ctx.pJournal->TakeFailureRow();
  if (row.empty()) return;
  m_ctx.log.AddLogRow(row);
  m_ctx.log.WriteLogText(row + u"\r\n");
}

void FolderPass::EndOfFolder(LNViewFolder& folder) {
  if (m_disposal == Disposal::action && !m_ctx.bDryRun) folder.Save(0);
  folder.Close();
  if (m_s.m_bSameFolderScope == 1) {
    m_s.m_mapDuplicateKeys.clear();
    m_ctx.mapKeptIds.clear();
    if (m_ctx.pReport) m_ctx.pReport->KeysForgotten();
  }
  const std::u16string line =
      FolderSummaryLine(m_counters.found, m_counters.duplicates, m_counters.notSaved);
  if (Running()) m_ctx.log.AddLogRow(line);
  m_ctx.log.WriteLogText(line);
  m_ctx.log.WriteLogText(u"\r\n");
  m_ctx.log.WriteLogText(u"\r\n");
}

void FolderPass::ReportIncomplete(const std::u16string& error) {
  const std::u16string row = u"Folder not fully processed: " + m_ctx.strFolderName + u" (" + error + u")";
  m_ctx.log.AddLogRow(row);
  m_ctx.log.WriteLogText(row + u"\r\n");
  m_ctx.bIncomplete = true;
}

}  // namespace

std::u16string FolderSummaryLine(std::uint64_t found, std::uint64_t duplicates,
                                 std::uint64_t notSaved) {
  return u"Total Items Found: " + CounterText(found) + u" , Items Save: " +
         CounterText(found - notSaved - duplicates) + u" , Duplicate Items: " +
         CounterText(duplicates) + u" , Items not save: " + CounterText(notSaved);
}

std::u16string TargetMissingRow(const std::u16string& folderName) {
  return u"Sub folder missing, nothing moved or copied: " + folderName;
}

bool ProcessFolderAction(PassContext& ctx, LNViewFolder target, NOTEID folderId, int action) {
  return FolderPass(ctx, Disposal::action, std::move(target), action).Run(folderId);
}

bool ProcessFolderDelete(PassContext& ctx, NOTEID folderId) {
  return FolderPass(ctx, Disposal::deleteNoStub, LNViewFolder(), 0).Run(folderId);
}
