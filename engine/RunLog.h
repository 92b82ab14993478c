// The run log: the page's log list and the log text file, fed separately.
//
// The file is UTF-16 little-endian; a new file starts with the byte-order
// mark FF FE, an existing one (a start after another run of the same second
// ended) is appended to without a second mark. It is held exclusively (flock)
// while open, and that lock is what makes the log's names, and the journal's
// beside it, one run's at a time: a run that finds them held takes the next
// free names. Texts are written as their code units, with no line end added.
//
// A log file that cannot be made or written never stops the run: the page's
// log list gets one row, "Log file could not be created: " + path when it
// cannot be made, "Log file could not be written: " + path when a write to
// the made file fails; the file is let go and the run goes on without it.
//
// Threads: OpenRunLog runs on the thread that starts the run; a RunLog is
// used by the worker alone.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class RunPage;
namespace platform {
class CFile;
}

// folder + "/" (unless it ends with one) + "Tarnwick_log_" + stamp + ".txt".
// An empty folder gives the bare file name.
std::u16string LogFilePath(const std::u16string& folder, const std::u16string& stamp);

// path with "-N" put before its final ".txt" (appended otherwise); N 1 is
// path itself.
std::u16string NumberedLogPath(const std::u16string& path, int n);

// Opening the log file: closes file if open, then takes the first of path,
// NumberedLogPath(path, 2), (.., 3), ... whose log file and journal no run
// still going holds; creates that file new (with the mark) or appends to it
// (only a regular file of this user, reached without a link), writes the
// header line (149 asterisks) and then every row + "\r\n". Returns the path
// taken. On failure the file is left closed and the page gets the "could not
// be created" row (a planted link or another user's file at the name, no
// folder), or "could not be written" when the file was opened but the mark
// or header could not be written. bCreate false skips the attempt (no folder
// to put the file in) and reports "could not be created".
std::u16string OpenRunLog(platform::CFile& file, RunPage& page, const std::u16string& path,
                          const std::vector<std::u16string>& rows, bool bCreate = true);

// What a run logged, in order, held back instead of reaching the page and
// the file: a database judged beside others keeps its rows and texts here
// until the databases before it have been given out (RunLog::Replay).
struct RunLogRecord {
  enum class Kind { row, text, flush };
  struct Event {
    Kind kind;
    std::u16string strText;
  };
  std::vector<Event> vecEvents;
};

class RunLog {
public:
  // file is the run settings' log file (not owned); page not owned.
  // pRecord (not owned): when set, rows and texts go there instead, in
  // order, and neither file nor page is touched.
  RunLog(platform::CFile& file, RunPage& page, std::u16string strPath, RunLogRecord* pRecord = nullptr)
      : m_file(file), m_page(page), m_strPath(std::move(strPath)), m_pRecord(pRecord) {}
  ~RunLog() { Flush(); }
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Appends text to the file when it is open. Texts are gathered and written
  // in blocks (a run writes several small texts per document); Flush, the
  // end of every folder pass and the destructor write what is gathered. The
  // first failed write lets the file go and adds the "could not be written"
  // row.
  void WriteLogText(std::u16string_view text);
  void Flush();
  void AddLogRow(const std::u16string& text);
  const std::u16string& Path() const { return m_strPath; }
  // Gives out what another log recorded, as if it had been logged here.
  void Replay(const RunLogRecord& record);

private:
  platform::CFile& m_file;
  RunPage& m_page;
  std::u16string m_strPath;
  std::u16string m_strPending;  // gathered texts not yet written
  RunLogRecord* m_pRecord;      // not owned; null: log to the file and page
};

inline constexpr std::u16string_view kLogNotCreatedRow = u"Log file could not be created: ";
inline constexpr std::u16string_view kLogNotWrittenRow = u"Log file could not be written: ";
