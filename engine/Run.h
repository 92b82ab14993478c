// The run: from Start Process to the completion message.
//
// The page that hosts a run (the wizard's summary and progress page, or
// tarnwick-cli) does this:
//
//   1. On its own thread, after its own confirmation (originals will be
//      changed: "You Select option to change in Original File..."), call
//      StartRun. It empties the status line, sets m_bRunning, shows Stop and
//      both bars, disables Back, Start Process and Close, starts the Notes
//      session afresh and opens the log file with its head (the header line
//      and every row the log list holds). It returns the log file's path,
//      which the page keeps as m_strLogPath.
//   2. Start a worker thread that calls RunWorker with that path. RunWorker
//      goes through the databases of the run (m_vecFilePaths in
//      multiple-file mode, m_strSingleFilePath otherwise), reports to the
//      page from the worker thread, shows the completion message, gives the
//      page its buttons back and returns 0. The page stays responsive while
//      it runs: Stop only sets m_bRunning to 0, and the run ends after the
//      current folder pass with its normal end.
//
// RunSettings and RunPage are not owned; both must outlive the worker. While
// the worker runs, only m_bRunning may be touched by another thread.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "lnapi/LNNotes.h"

struct RunSettings;
class RunPage;
class JournalSink;
class RunProgress;
class DuplicateSink;
class SparePredicate;
struct RunLogRecord;
namespace platform {
class CFile;
}

// Stands in for database arguments that are no database files (mail
// sources): the run judges a database that the provider makes from the
// source, names the source in its rows, and hands the judged database back
// so that the outcome reaches the source. Called on the run's thread.
class SourceProvider {
public:
  virtual ~SourceProvider() = default;
  // Whether source is one this provider stands in for.
  virtual bool Handles(const std::u16string& source) = 0;
  // The database to judge in place of source, or "" with *failureRow set
  // (the source is then left as it is and the run goes on with the next),
  // or "" with *failureRow empty when Stop ended the read (no failure).
  virtual std::u16string Prepare(const std::u16string& source, std::u16string* failureRow) = 0;
  // New-file mode: what the clean copy of source will be, for the
  // "Creating Database " row, and where the run puts its database copy.
  virtual std::u16string NewFilePath(const std::u16string& source) = 0;
  virtual std::u16string WorkCopyPath(const std::u16string& source) = 0;
  // After the run judged (and, unless a dry run, changed) workPath: carries
  // the outcome to the source. Returns the rows to log (failures).
  virtual std::vector<std::u16string> Finish(const std::u16string& source, const std::u16string& workPath) = 0;
};

struct RunOptions {
  std::u16string strLogPath;  // what StartRun returned
  // Judge every document and report each duplicate ("Duplicate Item ID:")
  // in the log file, but change no database and copy nothing.
  bool bDryRun = false;
  // Where every disposal is journaled before it is made (not owned; must
  // outlive the worker). Null: no journal (new-file runs, dry runs).
  JournalSink* pJournal = nullptr;
  // Told of every document judged; null: nobody is told (not owned).
  RunProgress* pProgress = nullptr;
  // Mail sources and the like; none: every argument is a database file.
  SourceProvider* pSources = nullptr;  // not owned; outlives the run
  // Beyond the wizard's run, each left null by a plain run (none owned):
  // the duplicate report to fill, the spare set that decides which
  // duplicates may go (engine/report/RunHooks.h), and the file that takes
  // the log texts instead of the run settings' m_logFile (the Preview gives
  // a closed one, so a preview writes no log).
  DuplicateSink* pReport = nullptr;
  const SparePredicate* pSpare = nullptr;
  platform::CFile* pLogFile = nullptr;
  // Multiple-file mode: how many databases may be judged side by side
  // (engine/RunJobs.h); rows, log file and outcome are those of one at a
  // time. The wizard keeps 1.
  int nJobs = 1;
  // Set by the run itself for each database it judges beside others (leave
  // them unset): where the database's rows and log texts are held back
  // (not owned), and what gives its clean copy a free name in run order.
  RunLogRecord* pLogRecord = nullptr;
  std::function<std::u16string(const std::u16string& wanted)> chooseNewPath;
};

// Steps of Start Process after the confirmation. strLogFolder empty: the
// user's desktop folder. Returns the log file's path (also when the file
// could not be made; the log list then says so): the second's name, or the
// next free one ("-2", ...) while a run still going holds that one.
std::u16string StartRun(RunSettings& settings, RunPage& page,
                        const std::u16string& strLogFolder = u"");

// What the worker procedures return. Incomplete: some database was not
// copied or opened, or its folder list or a folder pass was cut short by an
// error (each case is named on a row). A run ended by Stop is complete as
// far as it went.
inline constexpr int kRunComplete = 0;
inline constexpr int kRunIncomplete = 1;

// The worker procedure: RunMultipleFiles when m_bMultipleFiles is 1, else
// RunSingleFile.
int RunWorker(RunSettings& settings, RunPage& page, const RunOptions& options);

// The two worker procedures. RunMultipleFiles goes through m_vecFilePaths,
// listing each database's folders itself, and tests m_bRunning before each
// database. RunSingleFile works on m_strSingleFilePath with the folders the
// single-file page left in m_vecSelectedFolders (kept after the run); when
// that database cannot be copied or opened the run logs why and ends with
// its closing lines and completion message. Both return kRunComplete or
// kRunIncomplete.
int RunMultipleFiles(RunSettings& settings, RunPage& page, const RunOptions& options);
int RunSingleFile(RunSettings& settings, RunPage& page, const RunOptions& options);

// Opens the database at path into m_db and takes its core-API handle into
// m_hDatabase. 1 on success; 0 on any failure (nothing thrown).
int OpenRunDatabase(RunSettings& settings, const std::u16string& path);

// What the single-file page does before a run when every box of its folder
// tree stays checked: (re)initialises m_session, opens m_strSingleFilePath,
// lists its folders, builds the folder tree and appends its items in
// pre-order (the database item first) to m_vecSelectedFolders, sets
// m_strFolderListError when the listing stopped at an error, then closes
// the database. False, with nothing appended, when the database does not
// open. Brackets its Notes work with InitThread/TermThread.
[[nodiscard]] bool SelectEveryFolder(RunSettings& settings);

// The copy made in new-file mode: folder + "/" + the source's file name (the
// text after its last "/", extension included) + stamp + ".nsf". A folder
// already ending in "/" keeps it, so two follow each other (harmless here).
std::u16string NewDatabasePath(const std::u16string& folder, const std::u16string& source,
                               const std::u16string& stamp);

// path when no file has that name; otherwise path with "-2", "-3", ... put
// before its last ".nsf" (path ends in ".nsf"), the first that is free. Two
// sources of one file name copied within one second then keep both copies.
// Names in pReserved (not owned, may be null) count as taken too.
std::u16string FreeNewDatabasePath(const std::u16string& path,
                                   const std::set<std::u16string>* pReserved = nullptr);

// The name of the sub folder that is made when neither m_strSubFolderName
// exists nor can be created: m_strSubFolderName + "#2" in multiple-file
// mode, "Folder #2" in single-file mode (names users already know).
std::u16string SecondTargetFolderName(const RunSettings& settings);
