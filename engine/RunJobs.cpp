#include "engine/RunJobs.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "engine/Run.h"
#include "engine/RunLog.h"
#include "engine/RunPage.h"
#include "engine/RunProgress.h"
#include "engine/RunSettings.h"
#include "engine/report/RunHooks.h"

namespace {

// The choices of the run, for a database judged on another thread; the
// Notes objects and the judgement's scratch state are the job's own.
void CopyChoices(const RunSettings& from, RunSettings& to) {
  to.m_vecDateRanges = from.m_vecDateRanges;
  to.m_strNewNsfFolder = from.m_strNewNsfFolder;
  to.m_strSubFolderName = from.m_strSubFolderName;
  to.m_nAction = from.m_nAction;
  for (std::uint8_t RunSettings::*flag :
       {&RunSettings::m_bMultipleFiles, &RunSettings::m_bSameFolderScope, &RunSettings::m_bDateFilter,
        &RunSettings::m_bMailSubject, &RunSettings::m_bMailSender, &RunSettings::m_bMailReceiver,
        &RunSettings::m_bMailDateTime, &RunSettings::m_bMailBody, &RunSettings::m_bMailAttachments,
        &RunSettings::m_bModifyOriginal, &RunSettings::m_bExcludeAllFolder, &RunSettings::m_bTimeFormatHM,
        &RunSettings::m_bContactFirstName, &RunSettings::m_bContactLastName,
        &RunSettings::m_bContactMiddleName, &RunSettings::m_bContactFullName, &RunSettings::m_bContactEmail,
        &RunSettings::m_bContactPhone, &RunSettings::m_bContactCompany, &RunSettings::m_bMailCriteria,
        &RunSettings::m_bContactCriteria})
    to.*flag = from.*flag;
  to.m_session.Initialize();
}

struct Job {
  RunSettings settings;
  RunLogRecord record;
  std::unique_ptr<DuplicateSink> pReport;  // owned; null without a report
  bool bIncomplete = false;
  bool bDone = false;
  bool bNamed = false;  // its clean copy has a name (or will never need one)
  // What the progress display would show for it, kept until it is first.
  std::u16string strProgressPath;
  std::uint64_t nTotal = 0;
  std::uint64_t nJudged = 0;
  bool bStarted = false;
};

class SideBySide {
public:
  SideBySide(RunSettings& settings, RunPage& page, RunLog& log, const RunOptions& options)
      : m_s(settings), m_page(page), m_log(log), m_options(options),
        m_nJobs(static_cast<std::size_t>(options.nJobs)) {
    for (std::size_t i = 0; i < m_s.m_vecFilePaths.size(); ++i) {
      m_vecJobs.push_back(std::make_unique<Job>());
      CopyChoices(m_s, m_vecJobs.back()->settings);
      if (options.pReport) m_vecJobs.back()->pReport = options.pReport->NewDatabaseSink();
    }
  }

  bool Run();

private:
  class JobProgress;

  bool Running() const { return m_s.m_bRunning.load() != 0; }
  void Work();
  void Judge(std::size_t i);
  std::u16string ChooseNewPath(std::size_t i, const std::u16string& wanted);
  void MarkNamed(std::size_t i);  // call with m_mutex held
  void GiveOut(std::size_t i);
  void PassOnStop();

  RunSettings& m_s;
  RunPage& m_page;
  RunLog& m_log;
  const RunOptions& m_options;
  const std::size_t m_nJobs;
  std::vector<std::unique_ptr<Job>> m_vecJobs;

  std::mutex m_mutex;  // guards everything below and each Job's flags and progress
  std::condition_variable m_changed;
  std::size_t m_nNext = 0;   // the next database to take
  std::size_t m_nHead = 0;   // the first database not given out yet
  std::size_t m_nNamed = 0;  // databases before this one have named their copies
  std::set<std::u16string> m_setReserved;
};

// Tells the run's progress display about a job only while that job is the
// first not given out; the rest is kept for when it becomes so.
class SideBySide::JobProgress final : public RunProgress {
public:
  JobProgress(SideBySide& owner, std::size_t i) : m_owner(owner), m_i(i) {}
  void DatabaseStarted(const std::u16string& strPath, std::uint64_t nTotal) override {
    std::lock_guard lock(m_owner.m_mutex);
    Job& job = *m_owner.m_vecJobs[m_i];
    job.strProgressPath = strPath;
    job.nTotal = nTotal;
    job.bStarted = true;
    if (m_i == m_owner.m_nHead) m_owner.m_options.pProgress->DatabaseStarted(strPath, nTotal);
  }
  void DocumentJudged() override {
    std::lock_guard lock(m_owner.m_mutex);
    ++m_owner.m_vecJobs[m_i]->nJudged;
    if (m_i == m_owner.m_nHead) m_owner.m_options.pProgress->DocumentJudged();
  }

private:
  SideBySide& m_owner;
  std::size_t m_i;
};

bool SideBySide::Run() {
  const std::size_t n = m_vecJobs.size();
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < std::min(m_nJobs, n); ++t) threads.emplace_back([this] { Work(); });
  bool bIncomplete = false;
  for (std::size_t i = 0; i < n; ++i) {
    m_page.SetBarPos(RunPage::kDatabaseBar, static_cast<int>(i));
    {
      std::unique_lock lock(m_mutex);
      // A database that was never taken (Stop) is never done: the run ends
      // where the databases taken end, as one at a time it would.
      while (!m_vecJobs[i]->bDone && (i < m_nNext || Running())) {
        if (m_changed.wait_for(lock, std::chrono::milliseconds(50)) == std::cv_status::timeout && !Running())
          PassOnStop();
      }
      if (!m_vecJobs[i]->bDone) break;
    }
    GiveOut(i);
    bIncomplete = bIncomplete || m_vecJobs[i]->bIncomplete;
  }
  PassOnStop();  // no-op unless stopped: lets waiting threads see the end
  for (std::thread& thread : threads) thread.join();
  return bIncomplete;
}

// Stop reaches the databases being judged through their own settings.
// Harmless when running: it is called only once Stop was seen or at the end.
void SideBySide::PassOnStop() {
  if (Running()) {
    m_changed.notify_all();
    return;
  }
  for (const auto& job : m_vecJobs) job->settings.m_bRunning = 0;
  m_changed.notify_all();
}

void SideBySide::Work() {
  for (;;) {
    std::size_t i = 0;
    {
      std::unique_lock lock(m_mutex);
      // Databases finished ahead of the first one wait in memory; taking at
      // most twice the jobs ahead of it bounds what is held.
      m_changed.wait(lock, [this] {
        return m_nNext >= m_vecJobs.size() || !Running() || m_nNext < m_nHead + 2 * m_nJobs;
      });
      if (m_nNext >= m_vecJobs.size() || !Running()) return;
      i = m_nNext++;
    }
    Judge(i);
  }
}

void SideBySide::Judge(std::size_t i) {
  Job& job = *m_vecJobs[i];
  JobProgress progress(*this, i);
  RunOptions options = m_options;
  options.nJobs = 1;
  options.pLogRecord = &job.record;
  options.pReport = job.pReport.get();
  options.pProgress = m_options.pProgress ? &progress : nullptr;
  options.chooseNewPath = [this, i](const std::u16string& wanted) { return ChooseNewPath(i, wanted); };
  // The job's rows reach the run through its log record; the bars and
  // buttons belong to the run's own page.
  NullRunPage page;
  LNNotesSession session;
  session.InitThread();
  bool bIncomplete = true;
  try {
    bIncomplete = ProcessRunDatabase(job.settings, page, options, m_s.m_vecFilePaths[i]);
  } catch (...) {
    // The run's loop catches what a database throws; nothing should get
    // here, and if it does the database counts as not processed.
  }
  session.TermThread();
  std::lock_guard lock(m_mutex);
  job.bIncomplete = bIncomplete;
  job.bDone = true;
  MarkNamed(i);
  m_changed.notify_all();
}

// Copies are named in run order, so that two databases of one file name get
// the same names ("-2" for the later one) as one at a time.
std::u16string SideBySide::ChooseNewPath(std::size_t i, const std::u16string& wanted) {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this, i] { return m_nNamed >= i; });
  std::u16string path = FreeNewDatabasePath(wanted, &m_setReserved);
  m_setReserved.insert(path);
  MarkNamed(i);
  m_changed.notify_all();
  return path;
}

void SideBySide::MarkNamed(std::size_t i) {
  m_vecJobs[i]->bNamed = true;
  while (m_nNamed < m_vecJobs.size() && m_vecJobs[m_nNamed]->bNamed) ++m_nNamed;
}

void SideBySide::GiveOut(std::size_t i) {
  Job& job = *m_vecJobs[i];
  m_log.Replay(job.record);
  job.record = {};
  if (m_options.pReport && job.pReport) m_options.pReport->TakeDatabases(*job.pReport);
  std::lock_guard lock(m_mutex);
  m_nHead = i + 1;
  // The next database becomes the one the progress display shows.
  if (m_options.pProgress && m_nHead < m_vecJobs.size() && m_vecJobs[m_nHead]->bStarted) {
    const Job& next = *m_vecJobs[m_nHead];
    m_options.pProgress->DatabaseStarted(next.strProgressPath, next.nTotal);
    for (std::uint64_t k = 0; k < next.nJudged; ++k) m_options.pProgress->DocumentJudged();
  }
  m_changed.notify_all();
}

}  // namespace

bool JudgesSideBySide(const RunSettings& settings, const RunOptions& options) {
  if (options.nJobs <= 1 || settings.m_bMultipleFiles != 1 || settings.m_vecFilePaths.size() < 2) return false;
  if (options.pJournal || options.pLogRecord) return false;
  if (options.pSources)
    for (const std::u16string& path : settings.m_vecFilePaths)
      if (options.pSources->Handles(path)) return false;
  if (options.pReport) {
    // A report that cannot be split takes one database at a time.
    if (!options.pReport->NewDatabaseSink()) return false;
  }
  return true;
}

bool RunDatabasesSideBySide(RunSettings& settings, RunPage& page, RunLog& log, const RunOptions& options) {
  return SideBySide(settings, page, log, options).Run();
}
