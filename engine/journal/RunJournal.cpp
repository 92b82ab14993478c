#include "engine/journal/RunJournal.h"

#include "engine/RunLog.h"
#include "engine/RunPage.h"
#include "engine/RunSettings.h"
#include "engine/journal/DatabaseRecords.h"
#include "platform/Text.h"

namespace journal {

bool RunJournal::Record(LNDatabase& db, const Disposal& disposal) {
  if (m_bFailed) return false;
  if (!m_setOriginals.count(db.GetFilePath().Bytes())) return true;
  try {
    DatabaseDisposal d;
    d.nAction = disposal.nAction;
    d.dwNoteId = disposal.dwNoteId;
    d.dwCopyId = disposal.dwCopyId;
    d.dwTargetFolder = disposal.dwTargetFolder;
    if (db.GetNoteFolders(disposal.dwNoteId, &d.vecFolders) != LNNOERROR) d.vecFolders.clear();
    // Delete and move remove the original for good; so does the trash of a
    // database that keeps none.
    const bool bRemoves = disposal.nAction == 0 || disposal.nAction == 2 ||
                          (disposal.nAction == 1 && !db.IsSoftDeletions());
    if (bRemoves) {
      LNNoteImage image;
      if (db.GetNoteImage(disposal.dwNoteId, &image) != LNNOERROR) {
        m_bFailed = true;
        return false;
      }
      d.image = std::move(image);
    }
    m_bFailed = !m_pWriter->Append({std::string(kDatabaseKind), db.GetFilePath().Bytes(), EncodeDisposal(d)});
  } catch (...) {
    m_bFailed = true;  // no entry, no disposal
  }
  if (!m_bFailed) ++m_nRecords;
  return !m_bFailed;
}

bool RunJournal::Sync() {
  // Records written before a failed one are flushed all the same: their
  // disposals may then be kept.
  if (m_pWriter->Sync()) return true;
  m_bFailed = true;
  return false;
}

bool RunJournal::AppendDurable(const JournalRecord& record) {
  if (m_bFailed) return false;
  m_bFailed = !m_pWriter->Append(record) || !m_pWriter->Sync();
  if (!m_bFailed) ++m_nRecords;
  return !m_bFailed;
}

std::u16string RunJournal::TakeFailureRow() {
  if (!m_bFailed || m_bReported) return {};
  m_bReported = true;
  return std::u16string(kJournalNotWrittenRow) + m_strPath;
}

std::u16string JournalPathForLog(const std::u16string& logPath) {
  constexpr std::u16string_view kTxt = u".txt";
  if (logPath.size() >= kTxt.size() && logPath.compare(logPath.size() - kTxt.size(), kTxt.size(), kTxt) == 0)
    return logPath.substr(0, logPath.size() - kTxt.size()) + u".journal";
  return logPath + u".journal";
}

bool RunChangesOriginals(const RunSettings& settings, bool bDryRun) {
  return settings.m_bModifyOriginal == 1 && !bDryRun;
}

std::unique_ptr<RunJournal> StartRunJournal(RunSettings& settings, RunPage& page,
                                            const std::u16string& logPath) {
  const std::u16string path = JournalPathForLog(logPath);
  std::string error;
  // Without the log's folder there is no place for the journal either.
  if (auto writer = JournalWriter::Open(platform::ToUtf8(path), &error)) {
    std::set<std::string> originals;
    if (settings.m_bMultipleFiles == 1) {
      for (const std::u16string& file : settings.m_vecFilePaths) originals.insert(platform::ToUtf8(file));
    } else {
      originals.insert(platform::ToUtf8(settings.m_strSingleFilePath));
    }
    return std::make_unique<RunJournal>(std::move(writer), path, std::move(originals));
  }
  const std::u16string row = std::u16string(kJournalNotCreatedRow) + path;
  {
    RunLog log(settings.m_logFile, page, logPath);
    log.AddLogRow(row);
    log.WriteLogText(row + u"\r\n");
  }
  settings.m_bRunning = 0;
  page.EnableControl(RunPage::kBack, true);
  page.EnableControl(RunPage::kStartProcess, true);
  page.EnableControl(RunPage::kClose, true);
  page.ShowControl(RunPage::kStop, false);
  page.ShowControl(RunPage::kFolderBar, false);
  page.ShowControl(RunPage::kDatabaseBar, false);
  return nullptr;
}

}  // namespace journal
