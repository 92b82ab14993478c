#include "engine/FolderPass.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "engine/FolderPassWalk.h"
#include "engine/RunLog.h"
#include "engine/journal/JournalSink.h"
#include "engine/RunProgress.h"
#include "platform/Text.h"

namespace folderpass {

bool FolderPass::Run(NOTEID folderId) {
  return Walk(folderId, [this](const LNViewFolder& folder, BatchCommit& batch) {
    const LNINT n = folder.GetEntryCount();
    for (LNINT i = 0; i < n && !batch.Failed(); ++i) {
      m_strKey.clear();
      if (!Running()) break;
      HandleEntry(folder, i, batch);
      if (m_ctx.pProgress) TellProgress(folder[i].GetNoteID());
    }
  });
}

// The document of entry i, opened as mail. Throws what the folder or the
// document throws.
FolderPass::EntryOpen FolderPass::OpenEntry(const LNViewFolder& folder, LNINT i, LNMailMessage& mail) {
  const LNVFEntry entry = folder[i];
  if (entry.IsNull()) return EntryOpen::none;
  entry.GetDocument(&m_doc);
  m_doc.Open(0);
  if (!m_doc.IsOpen()) return EntryOpen::unopened;
  mail = m_doc;
  m_doc.Close();
  mail.Open(0);
  return EntryOpen::opened;
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

bool FolderPass::Walk(NOTEID folderId, const EntryLoop& loop) {
  LNDatabase& db = m_s.m_db;
  LNViewFolder folder;
  try {
    db.GetViewFolder(folderId, &folder);
    if (folder.Open(kFolderOpenFlags, db) != LNNOERROR) folder.Open(0, db);
    const bool bChanges = !m_ctx.bDryRun;
    {
      BatchCommit batch(db, bChanges, [this] { return SyncJournal(); });
      loop(folder, batch);
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

void FolderPass::HandleEntry(const LNViewFolder& folder, LNINT i, BatchCommit& batch) {
  LNMailMessage mail;
  try {
    const EntryOpen opened = OpenEntry(folder, i, mail);
    if (opened == EntryOpen::none) return;
    if (opened == EntryOpen::unopened) {
      m_ctx.log.WriteLogText(u"WARNING:Document cannot be opened\r\n");
      m_ctx.log.WriteLogText(u"\r\n");
      return;
    }
    const std::u16string form = platform::FromUtf8(mail.GetFormNote().Bytes());
    const NOTEID id = mail.GetNoteID();

    const DocumentKind kind = ClassifyDocument(mail);
    ++m_counters.found;
    bool bKeep = true;
    KeyDigest digest;
    const KeyResult composed = ComposeKey(mail, kind, digest);
    if (composed == KeyResult::skip) return;
    try {
      if (composed == KeyResult::keyed) {
        bKeep = RegisterKey(m_s, digest);
        if (bKeep && m_ctx.bDryRun) m_ctx.mapKeptIds[digest] = id;
        if (bKeep && m_ctx.pReport) m_ctx.pReport->Kept(digest, id, m_ctx.strFolderName);
      }
    } catch (...) {
      // Out of memory while registering: the document is skipped as one
      // whose key cannot be composed.
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
    NOTEID keptId = 0;
    if (m_ctx.bDryRun) {
      const auto kept = m_ctx.mapKeptIds.find(digest);
      if (kept != m_ctx.mapKeptIds.end()) keptId = kept->second;
    }
    Dispose(mail, id, keptId);
    ++m_counters.duplicates;
    batch.Counted();
  } catch (...) {
    EntryFailed(mail);
  }
}

// Called inside a catch block. An entry the store cannot read (a damaged
// file) lets the pass go on with the next one, and the folder is said at
// the end not to have been read whole; any other failure on the entry only
// lets the pass go on.
void FolderPass::EntryFailed(LNMailMessage& mail) {
  try {
    throw;
  } catch (LNSTATUS status) {
    if (m_nUnreadEntries++ == 0) m_strEntryError = StatusText(status);
  } catch (...) {
  }
  CloseAfterFailure(mail);
}

FolderPass::KeyResult FolderPass::ComposeKey(LNMailMessage& mail, DocumentKind kind, KeyDigest& digest) {
  try {
    if (kind == DocumentKind::mailItem) {
      if (m_s.m_bMailCriteria == 0 || !BuildMailKeyBytes(m_s, mail, m_strKey)) {
        mail.Close();
        return KeyResult::skip;
      }
    } else if (kind == DocumentKind::contact) {
      if (m_s.m_bContactCriteria == 0) {
        mail.Close();
        return KeyResult::skip;
      }
      BuildContactKeyBytes(m_s, mail, m_strKey);
    }
    // An empty key has nothing to compare: the document is kept and its
    // digest not registered.
    if (kind == DocumentKind::other || m_strKey.empty()) return KeyResult::none;
    digest = DigestKeyBytes(m_strKey);
    return KeyResult::keyed;
  } catch (...) {
    // A key that cannot be composed: the document is skipped, counted in
    // found only, and neither map is touched.
    if (mail.IsOpen()) mail.Close();
    return KeyResult::skip;
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

void FolderPass::Dispose(LNMailMessage& doc, NOTEID id, NOTEID keptId) {
  LNDatabase& db = m_s.m_db;
  if (m_ctx.bDryRun) {
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

}  // namespace folderpass

using folderpass::Disposal;
using folderpass::FolderPass;
using folderpass::CounterText;

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

