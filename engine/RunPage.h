// RunPage: what the run needs of "the page" that hosts it — the summary and
// progress page of the wizard, or the terminal of tarnwick-cli.
//
// The run never touches a widget. It reports through these calls:
//   - rows of the log list (AddLogRow; GetLogRows once, at the start),
//   - ranges and positions of the folder bar (kFolderBar) and the database
//     bar (kDatabaseBar),
//   - shown and enabled states of Stop, Back, Start Process, Close and of
//     both bars, by control id,
//   - the status line,
//   - the completion message, a message box owned by the page.
//
// Threads:
//   - StartRun (engine/Run.h) calls the page on the thread that calls
//     StartRun: the user-interface thread of the page.
//   - RunWorker (engine/Run.h) calls the page on the worker thread.
// Every call must have taken effect when it returns; a Qt page therefore
// forwards a worker's call with Qt::BlockingQueuedConnection and carries out
// a call made on its own thread directly (a blocking queued call into one's
// own thread would dead-lock). ShowMessage returns only after the user has
// dismissed the box. The run makes at most one call at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class RunPage {
public:
  // Control ids of the summary and progress page that the run drives.
  static constexpr int kClose = 1;
  static constexpr int kBack = 1017;
  static constexpr int kLogList = 1015;
  static constexpr int kStatusLine = 1058;
  static constexpr int kStartProcess = 1062;
  static constexpr int kStop = 1063;
  static constexpr int kFolderBar = 1064;
  static constexpr int kDatabaseBar = 1065;

  virtual ~RunPage() = default;

  // Appends text as the last row of the log list (no scrolling).
  virtual void AddLogRow(const std::u16string& text) = 0;
  // Every row the log list holds now, first to last. Called by StartRun only.
  virtual std::vector<std::u16string> GetLogRows() = 0;

  // bar is kFolderBar or kDatabaseBar.
  virtual void SetBarRange(int bar, int nLower, int nUpper) = 0;
  virtual void SetBarPos(int bar, int nPos) = 0;

  // id is kStop, kBack, kStartProcess, kClose, kFolderBar or kDatabaseBar.
  virtual void ShowControl(int id, bool bShow) = 0;
  virtual void EnableControl(int id, bool bEnable) = 0;

  virtual void SetStatusLine(const std::u16string& text) = 0;

  // A message box owned by the page: caption "Tarnwick v1.0", the
  // information icon and OK. Returns when it has been dismissed.
  virtual void ShowMessage(const std::u16string& text) = 0;

  // Text the run writes into its log file, as it writes it (also when the
  // file could not be made), in pieces of one or more lines. Pages that
  // show only the rows ignore it.
  virtual void LogTextWritten(std::u16string_view) {}
};

// A page that shows nothing, for runs whose rows reach the user another way
// (a job of a run judged side by side, a benchmark).
class NullRunPage : public RunPage {
public:
  void AddLogRow(const std::u16string&) override {}
  std::vector<std::u16string> GetLogRows() override { return {}; }
  void SetBarRange(int, int, int) override {}
  void SetBarPos(int, int) override {}
  void ShowControl(int, bool) override {}
  void EnableControl(int, bool) override {}
  void SetStatusLine(const std::u16string&) override {}
  void ShowMessage(const std::u16string&) override {}
};
