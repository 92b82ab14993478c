#include "tools/cli/CliMain.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <unistd.h>

#include "engine/Run.h"
#include "engine/RunSettings.h"
#include "engine/SummaryRows.h"
#include "engine/report/ReportCollector.h"
#include "engine/report/ReportFile.h"
#include "engine/report/SpareSet.h"
#include "tools/cli/CliKeepOptions.h"
#include "engine/journal/RunJournal.h"
#include "mail/SourceUndo.h"
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

// The flag Stop writes. A signal handler may only store to a lock-free
// atomic, which this is.
std::atomic<std::uint8_t>* g_pRunning = nullptr;
static_assert(std::atomic<std::uint8_t>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  if (g_pRunning) g_pRunning->store(0);
}

// SIGINT acts as the Stop button once; a second one ends the process as usual.
void InstallStop(RunSettings& settings) {
  g_pRunning = &settings.m_bRunning;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
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
  std::getline(std::cin, answer);
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

}  // namespace

int Main(const std::vector<std::string>& args) {
  RunSettings settings;
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
  if (!o.strUndoJournal.empty()) return RunUndo(o.strUndoJournal);
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
  NormalizeMailSourcePaths(settings);
  mailio::MailSourceProvider sources(MailSourceSettingsFor(settings, o.bDryRun));
  if (settings.m_bMultipleFiles == 0 && !SelectEveryFolderOfSource(settings, sources, o.bQuiet)) {
    PrintError("Database cannot be Opened: " + platform::ToUtf8(settings.m_strSingleFilePath));
    return kExitNotStarted;
  }
  // A dry run changes nothing, so there is nothing to confirm.
  if (settings.m_bModifyOriginal == 1 && !o.bDryRun && !ConfirmOriginals(o)) return kExitNotStarted;

  // The progress line is for a person watching a terminal; a script reading
  // standard error, or --quiet, gets none.
  std::optional<ProgressLine> progress;
  if (!o.bQuiet && ::isatty(STDERR_FILENO)) progress.emplace(stderr);
  ProgressLine* pProgress = progress ? &*progress : nullptr;
  CliPage page(stdout, o.bQuiet, pProgress);
  page.SetInitialRows(SummaryRows(settings));
  InstallStop(settings);
  RunOptions options;
  options.strLogPath = StartRun(settings, page, o.strLogDir);
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
  options.pProgress = pProgress;
  options.pSources = &sources;
  sources.SetJournal(journal.get());
  report::ReportCollector collector;
  if (!o.strReportPath.empty()) options.pReport = &collector;
  collector.SetOptions(KeepReportOptions(settings));
  if (spare) options.pSpare = &*spare;
  const int outcome = RunWorker(settings, page, options);
  if (progress) progress->Clear();
  // Ctrl+C is the user's own Stop: what it cut short (even an error met
  // while stopping) does not fail the run.
  const bool bStopped = settings.m_bRunning.load() == 0;
  std::signal(SIGINT, SIG_DFL);
  g_pRunning = nullptr;

  const std::string logPath = platform::ToUtf8(options.strLogPath);
  if (platform::FileExists(logPath)) std::cout << "Log file path: " << logPath << std::endl;
  // A report asked for and not written is a failure the script must see.
  bool bReportWritten = true;
  if (options.pReport) {
    std::string error;
    bReportWritten = report::SaveTextFile(
        platform::ToUtf8(o.strReportPath),
        [&collector](const report::TextSink& write) { report::WriteJson(collector.Result(), {}, write); },
        &error);
    if (!bReportWritten) PrintError("tarnwick-cli: report " + error);
  }
  if (journal) std::cout << "Journal file path: " << platform::ToUtf8(journal->Path()) << std::endl;
  if (journal && journal->Failed()) return kExitNotStarted;
  // A single-file run whose database was not made or opened ends without
  // its completion message; any database or source not processed
  // completely fails the run too (its row says why).
  if (page.Messages().empty() || sources.AnyFailed() || !bReportWritten) return kExitIncomplete;
  return outcome == kRunIncomplete && !bStopped ? kExitIncomplete : kExitDone;
}

}  // namespace cli
