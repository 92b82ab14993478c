#include "tools/cli/CliMain.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <unistd.h>

#include "engine/Run.h"
#include "engine/RunLog.h"
#include "engine/RunSettings.h"
#include "engine/SummaryRows.h"
#include "engine/report/ReportCollector.h"
#include "engine/report/ReportFile.h"
#include "engine/report/SpareSet.h"
#include "tools/cli/CliKeepOptions.h"
#include "engine/journal/RunJournal.h"
#include "mail/SourceUndo.h"
#include "platform/CreateNew.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/Version.h"
#include "tools/cli/CliMailSources.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/CliPage.h"
#include "tools/cli/CliUndo.h"
#include "tools/cli/ProgressLine.h"

namespace cli {

namespace {

constexpr int kExitDone = 0;
constexpr int kExitNotStarted = 1;
constexpr int kExitIncomplete = 1;
constexpr int kExitUsage = 2;

// The flag Stop writes, and the first signal that stopped the run. A signal
// handler may only store to lock-free atomics, which these are.
std::atomic<std::atomic<std::uint8_t>*> g_pRunning{nullptr};
std::atomic<int> g_nStopSignal{0};
static_assert(std::atomic<std::uint8_t>::is_always_lock_free);
static_assert(std::atomic<std::atomic<std::uint8_t>*>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int signal) {
  int none = 0;
  g_nStopSignal.compare_exchange_strong(none, signal);
  if (std::atomic<std::uint8_t>* pRunning = g_pRunning.load()) pRunning->store(0);
}

// SIGINT, SIGTERM and SIGHUP act as the Stop button from the first moment a
// source may be read until the process ends: the handlers stay, so a second
// signal cannot cut short the ending that releases locks and removes the
// temporary databases. The flag is let go before the settings holding it.
class StopOnSignals {
public:
  explicit StopOnSignals(std::atomic<std::uint8_t>& running) {
    g_pRunning.store(&running);
    Install(true);
  }
  // bRestart: calls the signal lands in go on (a lock wait, a pipe read),
  // so Stop never turns into an error; false lets a question on the
  // terminal end at the signal.
  static void Install(bool bRestart) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = bRestart ? SA_RESTART : 0;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  }
  ~StopOnSignals() { g_pRunning.store(nullptr); }
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

  static int Signal() { return g_nStopSignal.load(); }
  // StartRun sets the flag for a fresh run: a signal that came before must
  // still stop this one.
  static void KeepStop(std::atomic<std::uint8_t>& running) {
    if (Signal() != 0) running.store(0);
  }
};

// SIGTERM and SIGHUP end a run that did not finish; SIGINT is the user's own
// Stop.
std::u16string StopSignalRow(int signal) {
  if (signal == SIGTERM) return u"Run stopped by signal: SIGTERM";
  if (signal == SIGHUP) return u"Run stopped by signal: SIGHUP";
  return {};
}

platform::SystemTime LocalNow() {
  platform::SystemTime now;
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&t, &tm)) {
    now.nYear = tm.tm_year + 1900;
    now.nMonth = tm.tm_mon + 1;
    now.nDay = tm.tm_mday;
    now.nHour = tm.tm_hour;
    now.nMinute = tm.tm_min;
    now.nSecond = tm.tm_sec;
  }
  return now;
}

void PrintError(const std::string& text) { std::cerr << text << std::endl; }

// The question the wizard asks before originals are changed.
bool ConfirmOriginals(const CliOptions& o) {
  if (o.bYes) return true;
  if (!::isatty(STDIN_FILENO)) {
    PrintError("Original files would be changed: give --yes to proceed without a terminal");
    return false;
  }
  std::cerr << "You Select option to change in Original File.Please keep backup of Original "
               "File.Do you want to Proceed ? [y/N] "
            << std::flush;
  std::string answer;
  StopOnSignals::Install(false);
  std::getline(std::cin, answer);
  StopOnSignals::Install(true);
  if (StopOnSignals::Signal() != 0) return false;  // Ctrl+C is no answer
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

}  // namespace

int Main(const std::vector<std::string>& args) {
  RunSettings settings;
  // As early as can be: until the handlers are in, a shell's background job
  // ignores SIGINT and SIGTERM ends it outright.
  const StopOnSignals stop(settings.m_bRunning);
  const ParseResult parsed = ParseCommandLine(args, settings, LocalNow());
  if (parsed.usageError) {
    PrintError("tarnwick-cli: " + *parsed.usageError);
    return kExitUsage;
  }
  if (parsed.startError) {
    PrintError("tarnwick-cli: " + *parsed.startError);
    return kExitNotStarted;
  }
  const CliOptions& o = parsed.options;
  if (o.bHelp) {
    std::cout << UsageText();
    return kExitDone;
  }
  if (o.bVersion) {
    std::cout << "tarnwick-cli " << platform::ProgramVersion() << std::endl;
    return kExitDone;
  }
  mailio::RegisterMailRecordKinds();
  if (!o.strUndoJournal.empty()) {
    // A signal never cuts a restore short: the records in hand finish, no
    // further ones begin, and a new undo completes the work.
    const int undone = RunUndo(o.strUndoJournal, [] { return StopOnSignals::Signal() != 0; });
    return undone == kExitDone && StopOnSignals::Signal() != 0 ? kExitIncomplete : undone;
  }
  // A spare file that is not a report changes nothing: refused before any
  // database is opened.
  std::optional<report::SpareSet> spare;
  if (!o.strSparePath.empty()) {
    const report::LoadedReport loaded = report::LoadReportFile(platform::ToUtf8(o.strSparePath));
    if (!loaded.report) {
      PrintError("tarnwick-cli: --spare " + loaded.strError);
      return kExitUsage;
    }
    spare.emplace(*loaded.report);
  }
  // The report is made (empty, beside its name) before anything is changed:
  // a run whose report cannot be written must not start.
  report::TextFileDraft reportDraft;
  if (!o.strReportPath.empty()) {
    std::string why;
    if (!reportDraft.Create(platform::ToUtf8(o.strReportPath), &why)) {
      PrintError("Report file could not be created: " + platform::ToUtf8(o.strReportPath));
      return kExitNotStarted;
    }
  }
  NormalizeMailSourcePaths(settings);
  mailio::MailSourceProvider sources(MailSourceSettingsFor(settings, o.bDryRun));
  if (settings.m_bMultipleFiles == 0 && !SelectEveryFolderOfSource(settings, sources, o.bQuiet)) {
    PrintError("Database cannot be Opened: " + platform::ToUtf8(settings.m_strSingleFilePath));
    return kExitNotStarted;
  }
  // A dry run changes nothing, so there is nothing to confirm; nor does a
  // run stopped before it started, which only ends cleanly.
  if (settings.m_bModifyOriginal == 1 && !o.bDryRun && StopOnSignals::Signal() == 0 && !ConfirmOriginals(o))
    return kExitNotStarted;

  // The folder of the clean copies is made when missing, with its parents,
  // as the log's is; one that cannot be made shows on each copy's row.
  if (settings.m_bModifyOriginal == 0 && !o.bDryRun && !settings.m_strNewNsfFolder.empty())
    (void)platform::CreateMissingDirectories(platform::ToUtf8(settings.m_strNewNsfFolder),
                                             platform::Access::ownerOnly);

  // The progress line is for a person watching a terminal; a script reading
  // standard error, or --quiet, gets none.
  std::optional<ProgressLine> progress;
  if (!o.bQuiet && ::isatty(STDERR_FILENO)) progress.emplace(stderr);
  ProgressLine* pProgress = progress ? &*progress : nullptr;
  CliPage page(stdout, o.bQuiet, pProgress);
  page.SetInitialRows(SummaryRows(settings));
  RunOptions options;
  options.strLogPath = StartRun(settings, page, o.strLogDir);
  StopOnSignals::KeepStop(settings.m_bRunning);
  options.bDryRun = o.bDryRun;
  options.nJobs = o.nJobs;
  std::unique_ptr<journal::RunJournal> journal;
  if (journal::RunChangesOriginals(settings, o.bDryRun)) {
    journal = journal::StartRunJournal(settings, page, options.strLogPath);
    if (!journal) {
      const std::string logPath = platform::ToUtf8(options.strLogPath);
      if (platform::FileExists(logPath)) std::cout << "Log file path: " << logPath << std::endl;
      return kExitNotStarted;
    }
    options.pJournal = journal.get();
  }
  if (page.LogNotCreated()) return kExitNotStarted;  // a run leaves its log or does not start
  options.pProgress = pProgress;
  options.pSources = &sources;
  sources.SetJournal(journal.get());
  report::ReportCollector collector;
  if (!o.strReportPath.empty()) options.pReport = &collector;
  collector.SetOptions(KeepReportOptions(settings));
  if (spare) options.pSpare = &*spare;
  const int outcome = RunWorker(settings, page, options);
  if (progress) progress->Clear();
  // A signal later than this finds the work done and the ending under way.
  const int nSignal = StopOnSignals::Signal();
  const std::u16string stopRow = StopSignalRow(nSignal);
  if (!stopRow.empty()) {
    RunLog log(options.pLogFile ? *options.pLogFile : settings.m_logFile, page, options.strLogPath);
    log.AddLogRow(stopRow);
    log.WriteLogText(stopRow + u"\r\n");
  }

  const std::string logPath = platform::ToUtf8(options.strLogPath);
  if (platform::FileExists(logPath)) std::cout << "Log file path: " << logPath << std::endl;
  // A report asked for and not written is a failure the script must see.
  bool bReportWritten = true;
  if (options.pReport) {
    std::string error;
    bReportWritten = reportDraft.Commit(
        [&collector](const report::TextSink& write) { report::WriteJson(collector.Result(), {}, write); },
        &error);
    if (!bReportWritten) PrintError("tarnwick-cli: report " + error);
  }
  if (journal) std::cout << "Journal file path: " << platform::ToUtf8(journal->Path()) << std::endl;
  if (journal && journal->Failed()) return kExitNotStarted;
  // A single-file run whose database was not made or opened ends without
  // its completion message; any database or source not processed
  // completely fails the run too (its row says why), whatever stopped it
  // later. Ctrl+C is the user's own Stop: what it cut short is no failure.
  if (page.Messages().empty() || sources.AnyFailed() || !bReportWritten || !stopRow.empty())
    return kExitIncomplete;
  return outcome == kRunIncomplete ? kExitIncomplete : kExitDone;
}

}  // namespace cli
