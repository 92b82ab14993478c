// The passes of a scope judged whole before anything of it is disposed of:
// each folder's documents judged into the scope, the groups settled, then
// each folder's lines, disposals and summary in judging order.
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "engine/FolderPassWalk.h"
#include "engine/RunLog.h"
#include "engine/RunProgress.h"

namespace folderpass {

// ---- A scope judged whole before anything of it is disposed of

bool FolderPass::Judge(NOTEID folderId) {
  ScopeJudgement& scope = *m_ctx.pScope;
  scope.BeginFolder(folderId, m_ctx.strFolderName);
  try {
    LNDatabase& db = m_s.m_db;
    LNViewFolder folder;
    db.GetViewFolder(folderId, &folder);
    if (folder.Open(kFolderOpenFlags, db) != LNNOERROR) folder.Open(0, db);
    const LNINT n = folder.GetEntryCount();
    scope.Reserve(static_cast<std::size_t>(std::max<LNINT>(n, 0)));
    for (LNINT i = 0; i < n; ++i) {
      m_strKey.clear();
      if (!Running()) break;
      JudgeEntry(folder, i);
      if (m_ctx.pProgress) TellProgress(folder[i].GetNoteID());
    }
    folder.Close();
  } catch (LNSTATUS status) {
    scope.CurrentFolder().bFailed = true;
    if (lnapi::ErrorCode(status) != LNERR_STOPPED) ReportIncomplete(StatusText(status));
  } catch (...) {
    scope.CurrentFolder().bFailed = true;
    ReportIncomplete(u"unexpected error");
  }
  ScopeJudgement::FolderSlot& slot = scope.CurrentFolder();
  slot.nFound = m_counters.found;
  slot.nUnread = m_nUnreadEntries;
  slot.strEntryError = m_strEntryError;
  return Running();
}

// As HandleEntry judges, without registering the digest: the scope holds
// it, and the outcome waits until the whole scope is judged.
void FolderPass::JudgeEntry(const LNViewFolder& folder, LNINT i) {
  ScopeJudgement& scope = *m_ctx.pScope;
  LNMailMessage mail;
  try {
    const EntryOpen opened = OpenEntry(folder, i, mail);
    if (opened == EntryOpen::none) return;
    if (opened == EntryOpen::unopened) {
      scope.AddUnopened();
      return;
    }
    const std::u16string form = platform::FromUtf8(mail.GetFormNote().Bytes());
    const NOTEID id = mail.GetNoteID();
    const DocumentKind kind = ClassifyDocument(mail);
    ++m_counters.found;
    KeyDigest digest;
    const KeyResult composed = ComposeKey(mail, kind, digest);
    if (composed == KeyResult::skip) return;
    const ScopeJudgement::Document doc = RuleFields(mail, kind, id);
    const bool bTolerant = kind == DocumentKind::mailItem && m_s.m_bMailDateTime == 1 &&
                           m_s.m_keepOptions.HasDateTolerance();
    mail.Close();
    if (!RegisterNote(m_s, id)) {
      if (composed == KeyResult::keyed) scope.AddAnchor(doc, digest, bTolerant);
      return;
    }
    if (composed == KeyResult::keyed)
      scope.AddKeyed(doc, form, digest, bTolerant);
    else
      scope.AddUnkeyed(doc, form);
  } catch (...) {
    EntryFailed(mail);
  }
}

// The date the keep rules and the tolerance read (a mail's date as its key
// uses it, a contact's last change), and the size: a mail source's message
// carries its bytes' count, anything else its items' bytes.
ScopeJudgement::Document FolderPass::RuleFields(const LNMailMessage& mail, DocumentKind kind,
                                                NOTEID id) const {
  ScopeJudgement::Document doc;
  doc.id = id;
  DateTimeValue date = DateTimeValue::Invalid();
  if (kind == DocumentKind::mailItem) {
    date = MailDate::Read(mail).ToDateTimeValue();
  } else {
    LNDatetime modified;
    if (mail.GetLastModified(&modified) == LNNOERROR) {
      LNINT mo = 0, d = 0, y = 0, h = 0, mi = 0, sec = 0;
      modified.GetDate(&mo, &d, &y);
      modified.GetTime(&h, &mi, &sec);
      date = DateTimeValue(y, mo, d, h, mi, sec);
    }
  }
  if (date.IsValid()) {
    std::int64_t seconds = std::llround(date.GetOleDate() * 86400.0);
    if (m_s.m_bTimeFormatHM == 1) seconds -= ((seconds % 60) + 60) % 60;
    doc.nDateSeconds = seconds;
    doc.bHasDate = 1;
  }
  std::uint64_t size = static_cast<std::uint64_t>(std::max<LNINT>(mail.GetSize(), 0));
  LNText sourceSize;
  if (mail.HasItem(kSourceSizeItem) && mail.GetItem(kSourceSizeItem, &sourceSize) == LNNOERROR &&
      sourceSize.GetCount() > 0) {
    const std::string text = sourceSize[0].Bytes();
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() < 19)
      size = std::stoull(text);
  }
  doc.nSizeBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, 0xFFFFFFFFu));
  return doc;
}

bool FolderPass::RunJudged(const ScopeJudgement::FolderSlot& slot) {
  // A folder that could not be opened has said so; it has no pass.
  if (slot.bFailed) return Running();
  m_counters.found = slot.nFound;
  m_nUnreadEntries = slot.nUnread;
  m_strEntryError = slot.strEntryError;
  return Walk(slot.folderId, [this, &slot](const LNViewFolder&, BatchCommit& batch) {
    for (std::size_t i = slot.nBegin; i < slot.nEnd && !batch.Failed(); ++i) {
      if (!Running()) break;
      HandleJudged(i, batch);
    }
  });
}

void FolderPass::WriteRow(const std::u16string& text) {
  m_ctx.log.AddLogRow(text);
  m_ctx.log.WriteLogText(text + u"\r\n");
}

// The outcome settled for document i, written and carried out in the order
// the documents were judged.
void FolderPass::HandleJudged(std::size_t i, BatchCommit& batch) {
  const ScopeJudgement& scope = *m_ctx.pScope;
  const ScopeJudgement::Document& d = scope.Documents()[i];
  switch (d.outcome) {
    case ScopeJudgement::Outcome::anchor: return;
    case ScopeJudgement::Outcome::unopened:
      m_ctx.log.WriteLogText(u"WARNING:Document cannot be opened\r\n");
      m_ctx.log.WriteLogText(u"\r\n");
      return;
    case ScopeJudgement::Outcome::kept: LogKept(d.id, scope.FormOf(d)); return;
    case ScopeJudgement::Outcome::duplicate: break;
  }
  const ScopeJudgement::Group& group = scope.Groups()[d.nGroup];
  const ScopeJudgement::Document& kept = scope.Documents()[group.nKept];
  LNMailMessage mail;
  try {
    LNDocument doc;
    if (const LNSTATUS found = m_s.m_db.GetDocument(d.id, &doc); found != LNNOERROR) throw found;
    mail = doc;
    if (const LNSTATUS opened = mail.Open(0); opened != LNNOERROR) throw opened;
    const std::optional<int> guarded =
        GuardedPercent(d.nSizeBytes, kept.nSizeBytes, m_s.m_keepOptions.nSizeGuardPercent);
    const bool bGuarded = guarded.has_value();
    if (m_ctx.pReport) {
      if (bGuarded)
        m_ctx.pReport->Guarded(m_s, group.digest, mail, d.id);
      else
        m_ctx.pReport->Duplicate(m_s, group.digest, mail, d.id);
    }
    mail.Close();
    if (m_ctx.pSpare && !m_ctx.pSpare->Disposes(m_ctx.strSourcePath, group.digest, d.id)) {
      WriteRow(u"Item spared:\t" + IdText(d.id));
      return;
    }
    if (bGuarded) {
      // Kept because its size says it is not the same mail: counted as saved.
      WriteRow(u"Item not disposed:\t" + IdText(d.id) + u" (sizes differ by " +
               platform::DecimalText(*guarded) + u"%)");
      return;
    }
    if (!m_ctx.bDryRun) batch.BeforeChange();
    m_bBatchOpen = batch.IsOpen();
    Dispose(mail, d.id, kept.id);
    ++m_counters.duplicates;
    batch.Counted();
  } catch (...) {
    EntryFailed(mail);
  }
}

}  // namespace folderpass

using folderpass::Disposal;
using folderpass::FolderPass;

bool JudgesWholeScope(const RunSettings& settings, bool bSpare) {
  const KeepOptions& k = settings.m_keepOptions;
  return bSpare || k.ChoosesOtherThanFirst() || k.HasDateTolerance() || k.HasSizeGuard();
}

bool JudgeFolder(PassContext& ctx, NOTEID folderId) {
  return FolderPass(ctx, Disposal::deleteNoStub, LNViewFolder(), 0).Judge(folderId);
}

void DecideScope(PassContext& ctx) {
  ScopeJudgement& scope = *ctx.pScope;
  LNDatabase& db = ctx.settings.m_db;
  // Folder rules name folders; each is looked up once per scope.
  std::map<std::u16string, std::optional<NOTEID>> folderIds;
  const auto filedIn = [&](NOTEID id, const std::u16string& name) {
    try {
      auto it = folderIds.find(name);
      if (it == folderIds.end()) {
        std::optional<NOTEID> folderId;
        LNString notesName;
        LNStringTranslate(name, 0, &notesName);
        LNViewFolder folder;
        if (db.GetViewFolder(notesName, &folder) == LNNOERROR) folderId = folder.GetNoteID();
        it = folderIds.emplace(name, folderId).first;
      }
      std::vector<NOTEID> folders;
      if (!it->second || db.GetNoteFolders(id, &folders) != LNNOERROR) return false;
      return std::binary_search(folders.begin(), folders.end(), *it->second);
    } catch (...) {
      return false;  // a folder that cannot be read holds nothing the rule could see
    }
  };
  const auto spareKept = [&ctx](const KeyDigest& digest) -> NOTEID {
    return ctx.pSpare ? ctx.pSpare->KeptOf(ctx.strSourcePath, digest) : 0;
  };
  scope.Decide(spareKept, filedIn);
  if (!ctx.pReport) return;
  for (std::uint32_t g : scope.GroupsInKeptOrder()) {
    const ScopeJudgement::Group& group = scope.Groups()[g];
    ctx.pReport->Kept(group.digest, scope.Documents()[group.nKept].id, scope.FolderOf(group.nKept));
  }
}

bool ProcessJudgedFolder(PassContext& ctx, LNViewFolder target, std::size_t nSlot) {
  const RunSettings& s = ctx.settings;
  const bool bAction = s.m_bModifyOriginal == 1 && s.m_nAction != 0;
  return FolderPass(ctx, bAction ? Disposal::action : Disposal::deleteNoStub, std::move(target),
                    bAction ? s.m_nAction : 0)
      .RunJudged(ctx.pScope->Folders().at(nSlot));
}
