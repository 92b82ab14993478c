#include "engine/Run.h"

#include "notes/BodyText.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "engine/FolderPass.h"
#include "engine/RunJobs.h"
#include "engine/RunLog.h"
#include "engine/RunPage.h"
#include "engine/RunProgress.h"
#include "engine/RunSettings.h"
#include "engine/keep/ScopeJudgement.h"
#include "notes/BodyText.h"
#include "notes/FolderList.h"
#include "notes/FolderTree.h"
#include "platform/CreateNew.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

constexpr std::u16string_view kAllView = u"($All)";

std::u16string ErrorText(LNSTATUS status) {
  return platform::FromUtf8(LNGetErrorMessageText(status));
}

// The sub folder of actions 2 and 3 for one database.
struct TargetFolder {
  LNViewFolder folder;
  bool bFound = false;
};

class Worker {
public:
  Worker(RunSettings& settings, RunPage& page, const RunOptions& options, bool bMultiple)
      : m_s(settings), m_page(page), m_options(options),
        m_log(options.pLogFile ? *options.pLogFile : settings.m_logFile, page, options.strLogPath,
              options.pLogRecord),
        m_ctx{settings, m_log, options.bDryRun, false, {}, {}, options.pJournal, false,
              options.pProgress, options.pReport, options.pSpare, {}, {}, {}},
        m_bMultiple(bMultiple) {}

  int Run();
  // One database of a multiple-file run, without the run's start and end.
  bool ProcessOne(const std::u16string& source) {
    return ProcessDatabase(source) != Outcome::done || m_bIncomplete || m_ctx.bIncomplete;
  }

private:
  enum class Outcome { done, notCreated, notOpened };

  bool Running() const { return m_s.m_bRunning.load() != 0; }
  bool UsesTarget() const {
    return m_s.m_bModifyOriginal == 1 && (m_s.m_nAction == 2 || m_s.m_nAction == 3);
  }
  Outcome ProcessDatabase(const std::u16string& source);
  void ReportFolderListError(const std::u16string& source, const std::u16string& error);
  void ProcessOpenDatabase(const std::u16string& source);
  bool PassesOver(std::size_t j, const FolderRecord& record) const;
  std::uint64_t CountEntries();
  TargetFolder PrepareTargetFolder();
  void FolderLoop(TargetFolder& target);
  void JudgedFolderLoop(TargetFolder& target);
  void WriteFolderHead(const FolderRecord& record);
  void EndOfRun(LNNotesSession& session);
  void GiveBackPage();

  RunSettings& m_s;
  RunPage& m_page;
  RunOptions m_options;
  RunLog m_log;
  PassContext m_ctx;
  bool m_bMultiple;
  // Some database was not processed completely (not copied, not opened, its
  // folder list or a folder pass cut short by an error). A Stop is not that.
  bool m_bIncomplete = false;
};

int Worker::Run() {
  LNNotesSession session;
  session.InitThread();
  if (m_bMultiple) {
    const int n = static_cast<int>(m_s.m_vecFilePaths.size());
    m_page.SetBarRange(RunPage::kDatabaseBar, 0, n);
    if (JudgesSideBySide(m_s, m_options)) {
      m_bIncomplete = RunDatabasesSideBySide(m_s, m_page, m_log, m_options);
    } else {
      for (int i = 0; i < n; ++i) {
        m_page.SetBarPos(RunPage::kDatabaseBar, i);
        if (!Running()) break;
        if (ProcessDatabase(m_s.m_vecFilePaths[static_cast<std::size_t>(i)]) != Outcome::done)
          m_bIncomplete = true;
      }
    }
    m_page.SetBarPos(RunPage::kDatabaseBar, n);
  } else {
    m_page.SetBarRange(RunPage::kDatabaseBar, 0, 1);
    m_page.SetBarPos(RunPage::kDatabaseBar, 0);
    // A database that is not there ends the run as every run ends (its
    // failure row, the closing lines, the completion message): a run that
    // stops in silence looks to the user like one still working.
    if (ProcessDatabase(m_s.m_strSingleFilePath) != Outcome::done) m_bIncomplete = true;
    m_page.SetBarPos(RunPage::kDatabaseBar, 1);
  }
  EndOfRun(session);
  return m_bIncomplete || m_ctx.bIncomplete ? kRunIncomplete : kRunComplete;
}

Worker::Outcome Worker::ProcessDatabase(const std::u16string& source) {
  const std::u16string stamp = platform::TimeStamp();
  std::u16string path = source;
  std::u16string shown = source;  // the path the rows name
  SourceProvider* provider =
      m_options.pSources && m_options.pSources->Handles(source) ? m_options.pSources : nullptr;
  if (provider) {
    // After Stop a source is not locked or read again (its first read may
    // have been the one Stop ended).
    if (!Running()) return Outcome::done;
    std::u16string failure;
    path = provider->Prepare(source, &failure);
    // A read given up for Stop leaves the source as it was: nothing failed.
    if (path.empty() && failure.empty()) return Outcome::done;
    if (path.empty()) {
      m_log.AddLogRow(failure);
      m_log.WriteLogText(failure + u"\r\n");
      return Outcome::notOpened;
    }
  }
  // A dry run copies nothing: it judges the source itself and changes nothing.
  const bool bCopy = m_s.m_bModifyOriginal == 0 && !m_options.bDryRun;
  if (bCopy) {
    const std::u16string wanted = NewDatabasePath(m_s.m_strNewNsfFolder, source, stamp);
    const std::u16string copy = provider                  ? provider->WorkCopyPath(source)
                                : m_options.chooseNewPath ? m_options.chooseNewPath(wanted)
                                                          : FreeNewDatabasePath(wanted);
    shown = provider ? provider->NewFilePath(source) : copy;
    m_log.AddLogRow(u"Creating Database " + shown);
    if (!platform::CopyFileNew(platform::ToUtf8(path), platform::ToUtf8(copy), &m_s.m_bRunning)) {
      // Stopped while copying: no copy was made, and none was meant to fail.
      if (!Running()) return Outcome::done;
      m_log.AddLogRow(u"Database not created: " + shown);
      m_log.WriteLogText(u"Database not created. \r\n ");
      return Outcome::notCreated;
    }
    path = copy;
  }
  m_log.AddLogRow(u"Opening Database " + shown);
  if (!OpenRunDatabase(m_s, path)) {
    m_log.AddLogRow(u"Database Cannot be Open: " + shown);
    m_log.WriteLogText(u"Database Cannot be open. \r\n ");
    return Outcome::notOpened;
  }
  // The copy is the run's own until the run ends: synced once, when closed.
  if (bCopy) m_s.m_db.SyncOnlyAtClose();
  m_log.AddLogRow(u"Processing Folders");
  // The single-file page listed the folders before the run.
  if (!m_bMultiple && !m_s.m_strFolderListError.empty()) ReportFolderListError(source, m_s.m_strFolderListError);
  m_ctx.strSourcePath = source;
  if (m_options.pReport) m_options.pReport->BeginDatabase(source);
  ProcessOpenDatabase(source);
  if (m_options.pReport) m_options.pReport->EndDatabase();
  if (provider) {
    for (const std::u16string& row : provider->Finish(source, path)) {
      m_log.AddLogRow(row);
      m_log.WriteLogText(row + u"\r\n");
    }
  }
  return Outcome::done;
}

// The run goes on with the folders that were listed, but never in silence.
void Worker::ReportFolderListError(const std::u16string& source, const std::u16string& error) {
  const std::u16string row = u"Folder list incomplete: " + source + u" (" + error + u")";
  m_log.AddLogRow(row);
  m_log.WriteLogText(row + u"\r\n");
  m_bIncomplete = true;
}

void Worker::ProcessOpenDatabase(const std::u16string& source) {
  if (m_bMultiple) {
    std::u16string error;
    BuildFolderList(m_s.m_db, m_s.m_vecSelectedFolders, m_s.m_curFolder, nullptr, &error, &m_s.m_bRunning);
    if (!error.empty()) ReportFolderListError(source, error);
  }
  if (m_options.pProgress) m_options.pProgress->DatabaseStarted(source, CountEntries());
  // The folder bar counts folders in both modes.
  const int nFolders = static_cast<int>(m_s.m_vecSelectedFolders.size());
  m_page.SetBarRange(RunPage::kFolderBar, 0, nFolders);
  m_page.SetBarPos(RunPage::kFolderBar, 0);
  try {
    TargetFolder target;
    const bool bTarget = UsesTarget() && !m_options.bDryRun;
    if (bTarget) target = PrepareTargetFolder();
    m_ctx.bTargetMissing = UsesTarget() && !target.bFound && !m_options.bDryRun;
    if (m_ctx.bTargetMissing) {
      // Said once for the database: no folder of it can move or copy anything.
      const std::u16string row = TargetMissingRow(m_s.m_strSubFolderName);
      m_log.AddLogRow(row);
      m_log.WriteLogText(row + u"\r\n");
    }
    FolderLoop(target);
    if (bTarget && target.bFound) {
      target.folder.Save(0);
      target.folder.Close();
    }
  } catch (LNSTATUS status) {
    // The sub folder calls and Save are outside the passes: report the
    // error and go on with the next database. A read given up for Stop is
    // the end of a stopped run.
    if (lnapi::ErrorCode(status) != LNERR_STOPPED) {
      m_log.AddLogRow(ErrorText(status));
      m_log.WriteLogText(ErrorText(status) + u"\r\n");
      m_bIncomplete = true;
    }
  } catch (...) {
    m_log.AddLogRow(u"Unexpected error while processing " + platform::FromUtf8(
                                                               m_s.m_db.GetFilePath().Bytes()));
    m_bIncomplete = true;
  }
  m_page.SetBarPos(RunPage::kFolderBar, nFolders);
  try {
    if (!Running()) m_s.m_db.SkipSyncAtClose();  // a stopped run does not wait for the disk
    const LNSTATUS closed = m_s.m_db.Close();
    if (closed != LNNOERROR) {
      // The new copy could not be synced to the disk: it may not be whole.
      m_log.AddLogRow(ErrorText(closed));
      m_log.WriteLogText(ErrorText(closed) + u"\r\n");
      m_bIncomplete = true;
    }
  } catch (...) {
    // Closing cannot be helped further; the next database opens anew.
  }
  if (m_bMultiple) m_s.m_vecSelectedFolders.clear();
  m_s.m_mapDuplicateKeys.clear();
  m_s.m_mapProcessedNotes.clear();
  m_ctx.mapKeptIds.clear();
  m_ctx.vecProgressIds.clear();
  m_ctx.vecProgressTold.clear();
  m_log.Flush();
}

TargetFolder Worker::PrepareTargetFolder() {
  TargetFolder target;
  LNString name;
  LNStringTranslate(m_s.m_strSubFolderName, 0, &name);
  if (m_s.m_db.GetViewFolder(name, &target.folder) == LNNOERROR ||
      m_s.m_db.CreateFolder(name, &target.folder) == LNNOERROR) {
    target.bFound = true;
    return target;
  }
  LNString second;
  LNStringTranslate(SecondTargetFolderName(m_s), 0, &second);
  target.bFound = m_s.m_db.CreateFolder(second, &target.folder) == LNNOERROR;
  return target;
}

// The database item of a single-file list and "($All)" when left out get
// no pass.
bool Worker::PassesOver(std::size_t j, const FolderRecord& record) const {
  return (j == 0 && record.dwNoteId == 0) ||
         (record.strName == kAllView && m_s.m_bExcludeAllFolder == 1);
}

// The documents the passes will walk, for the progress display only: a
// document filed in several folders counts once, and a folder that cannot
// be opened counts none here and ends its pass at once anyway.
std::uint64_t Worker::CountEntries() {
  std::vector<NOTEID>& ids = m_ctx.vecProgressIds;
  ids.clear();
  const std::vector<FolderRecord>& records = m_s.m_vecSelectedFolders;
  for (std::size_t j = 0; j < records.size(); ++j) {
    if (PassesOver(j, records[j])) continue;
    try {
      LNViewFolder folder;
      m_s.m_db.GetViewFolder(records[j].dwNoteId, &folder);
      if (folder.Open(0, m_s.m_db) != LNNOERROR) continue;
      const LNINT n = folder.GetEntryCount();
      for (LNINT i = 0; i < n; ++i) ids.push_back(folder[i].GetNoteID());
    } catch (...) {
      // Counted as empty; the pass reports the error.
    }
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  m_ctx.vecProgressTold.assign(ids.size(), false);
  return ids.size();
}

void Worker::WriteFolderHead(const FolderRecord& record) {
  m_log.WriteLogText(u"\r\n " + std::u16string(76, u'-') + u"\r\n");
  m_log.WriteLogText(u"Processing Folder :\t ");
  m_log.WriteLogText(record.strName);
  m_log.WriteLogText(u"\r\n");
  m_log.AddLogRow(u"Processing Folder :\t" + record.strName);
}

// Each scope (a folder, or the whole database in whole-file scope) is judged
// whole before anything of it is disposed of; the folders' rows and lines
// then follow in folder order, as the one-walk passes write them. A folder
// of its own scope gets its head before it is judged, so that a row of a
// failure while judging it stands under its name.
void Worker::JudgedFolderLoop(TargetFolder& target) {
  const std::vector<FolderRecord>& records = m_s.m_vecSelectedFolders;
  const bool bWholeFile = m_s.m_bSameFolderScope != 1;
  std::optional<ScopeJudgement> scope;
  std::vector<std::size_t> judged;  // the records judged into scope, in order
  const auto disposeScope = [&] {
    if (!scope) return;
    if (Running()) DecideScope(m_ctx);
    for (std::size_t k = 0; k < judged.size() && Running(); ++k) {
      const FolderRecord& record = records[judged[k]];
      m_page.SetBarPos(RunPage::kFolderBar, static_cast<int>(judged[k]));
      if (bWholeFile) WriteFolderHead(record);
      m_ctx.strFolderName = record.strName;
      ProcessJudgedFolder(m_ctx, target.folder, k);
    }
    judged.clear();
    m_ctx.pScope = nullptr;
    scope.reset();
  };
  for (std::size_t j = 0; j < records.size() && Running(); ++j) {
    m_page.SetBarPos(RunPage::kFolderBar, static_cast<int>(j));
    const FolderRecord record = records[j];
    if (PassesOver(j, record)) continue;
    if (!scope) m_ctx.pScope = &scope.emplace(m_s.m_keepOptions);
    if (!bWholeFile) WriteFolderHead(record);
    m_ctx.strFolderName = record.strName;
    JudgeFolder(m_ctx, record.dwNoteId);
    judged.push_back(j);
    if (!bWholeFile) disposeScope();
  }
  disposeScope();
}

void Worker::FolderLoop(TargetFolder& target) {
  if (JudgesWholeScope(m_s, m_ctx.pSpare != nullptr)) {
    JudgedFolderLoop(target);
    return;
  }
  const std::vector<FolderRecord>& records = m_s.m_vecSelectedFolders;
  for (std::size_t j = 0; j < records.size() && Running(); ++j) {
    m_page.SetBarPos(RunPage::kFolderBar, static_cast<int>(j));
    const FolderRecord record = records[j];
    if (PassesOver(j, record)) continue;
    WriteFolderHead(record);
    m_ctx.strFolderName = record.strName;
    if (m_s.m_bModifyOriginal == 1 && m_s.m_nAction != 0) {
      ProcessFolderAction(m_ctx, target.folder, record.dwNoteId, m_s.m_nAction);
    } else {
      ProcessFolderDelete(m_ctx, record.dwNoteId);
    }
  }
}

void Worker::EndOfRun(LNNotesSession& session) {
  session.TermThread();
  m_log.WriteLogText(u"\r\n" + std::u16string(90, u'/') + u"\r\n\r\n");
  m_log.WriteLogText(u"Work Completed!!!!\r\n\r\n");
  m_log.Flush();
  m_page.ShowMessage(
      u"Duplicate removing process for selected NSF file(s) has been done successfully.");
  if (platform::FileExists(platform::ToUtf8(m_options.strLogPath)))
    m_page.SetStatusLine(u"Log file path: " + m_options.strLogPath);
  GiveBackPage();
}

void Worker::GiveBackPage() {
  m_page.EnableControl(RunPage::kBack, true);
  m_page.EnableControl(RunPage::kStartProcess, true);
  m_page.EnableControl(RunPage::kClose, true);
  m_page.ShowControl(RunPage::kStop, false);
  m_page.ShowControl(RunPage::kFolderBar, false);
  m_page.ShowControl(RunPage::kDatabaseBar, false);
}

}  // namespace

std::u16string NewDatabasePath(const std::u16string& folder, const std::u16string& source,
                               const std::u16string& stamp) {
  const std::size_t slash = source.rfind(platform::kPathSeparator);
  const std::u16string fileName =
      slash == std::u16string::npos ? std::u16string() : source.substr(slash + 1);
  return folder + platform::kPathSeparator + fileName + stamp + u".nsf";
}

std::u16string FreeNewDatabasePath(const std::u16string& path, const std::set<std::u16string>* pReserved) {
  const auto taken = [pReserved](const std::u16string& candidate) {
    return (pReserved && pReserved->count(candidate) != 0) || platform::FileExists(platform::ToUtf8(candidate));
  };
  if (!taken(path)) return path;
  constexpr std::u16string_view kExtension = u".nsf";
  const std::u16string stem = path.substr(0, path.size() - kExtension.size());
  for (int n = 2;; ++n) {
    std::u16string candidate = stem + u"-" + platform::DecimalText(n) + std::u16string(kExtension);
    if (!taken(candidate)) return candidate;
  }
}

std::u16string SecondTargetFolderName(const RunSettings& settings) {
  if (settings.m_bMultipleFiles == 1)
    return settings.m_strSubFolderName + u"#" + platform::DecimalText(2);
  return u"Folder #" + platform::DecimalText(2);
}

int OpenRunDatabase(RunSettings& settings, const std::u16string& path) {
  try {
    const LNString notesPath(platform::ToUtf8(path));
    // A database object that was not bound to this path must not be opened:
    // it would still stand for the previous database.
    if (settings.m_session.GetDatabase(notesPath, &settings.m_db, "") != LNNOERROR) return 0;
    settings.m_db.Open();
    settings.m_db.SetStopFlag(&settings.m_bRunning);
    settings.m_hDatabase = settings.m_db.GetDatabaseHandle(1);
    return 1;
  } catch (...) {
    return 0;
  }
}

bool SelectEveryFolder(RunSettings& s) {
  if (s.m_session.IsInitialized()) s.m_session.Term(0);
  s.m_session.Initialize();
  LNNotesSession threadSession;
  threadSession.InitThread();
  if (!OpenRunDatabase(s, s.m_strSingleFilePath)) {
    threadSession.TermThread();
    return false;
  }
  std::vector<FolderRecord> folders;
  // Stopped while listing: the run that follows ends at once.
  BuildFolderList(s.m_db, folders, s.m_curFolder, nullptr, &s.m_strFolderListError, &s.m_bRunning);
  const std::vector<FolderRecord> checked =
      CheckedFoldersPreOrder(BuildFolderTree(s.m_strSingleFilePath, folders));
  s.m_vecSelectedFolders.insert(s.m_vecSelectedFolders.end(), checked.begin(), checked.end());
  try {
    s.m_db.Close();
  } catch (...) {
    // The run opens the database anew.
  }
  threadSession.TermThread();
  return true;
}

std::u16string StartRun(RunSettings& settings, RunPage& page, const std::u16string& strLogFolder) {
  page.SetStatusLine(u"");
  settings.m_bRunning = 1;
  page.ShowControl(RunPage::kStop, true);
  page.ShowControl(RunPage::kFolderBar, true);
  page.ShowControl(RunPage::kDatabaseBar, true);
  page.EnableControl(RunPage::kBack, false);
  page.EnableControl(RunPage::kStartProcess, false);
  page.EnableControl(RunPage::kClose, false);

  if (settings.m_session.IsInitialized()) settings.m_session.Term(0);
  settings.m_session.Initialize();

  std::u16string folder = strLogFolder;
  if (folder.empty()) {
    folder = platform::FromUtf8(platform::DesktopFolder());
  } else {
    // A folder that cannot be made shows as a log that cannot be made.
    (void)platform::CreateMissingDirectories(platform::ToUtf8(folder), platform::Access::likeSource);
  }
  // The second's names may be held by a run still going: the log (and the
  // journal beside it) then get the next free ones.
  return OpenRunLog(settings.m_logFile, page, LogFilePath(folder, platform::TimeStamp()), page.GetLogRows(),
                    !folder.empty());
}

bool ProcessRunDatabase(RunSettings& settings, RunPage& page, const RunOptions& options,
                        const std::u16string& source) {
  return Worker(settings, page, options, true).ProcessOne(source);
}

int RunMultipleFiles(RunSettings& settings, RunPage& page, const RunOptions& options) {
  return Worker(settings, page, options, true).Run();
}

int RunSingleFile(RunSettings& settings, RunPage& page, const RunOptions& options) {
  return Worker(settings, page, options, false).Run();
}

int RunWorker(RunSettings& settings, RunPage& page, const RunOptions& options) {
  const int result = settings.m_bMultipleFiles == 1 ? RunMultipleFiles(settings, page, options)
                                                    : RunSingleFile(settings, page, options);
  FlushPictureFiles();  // the pictures of the run's bodies, as the run leaves them
  return result;
}
