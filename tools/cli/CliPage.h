// The terminal as the run's page: log rows go to standard output as they
// come, one per line; the database bar goes to the progress line, if there
// is one; buttons and the status line have nothing to show.
// Quiet: standard output gets no rows, and failure rows go to standard error
// (so a script sees why a run failed). A dry run's duplicates, which only the
// log file's text names, are printed as rows too (not when quiet). Used on one thread at a time (the run
// calls it from its worker).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/RunPage.h"

namespace cli {

class ProgressLine;

class CliPage : public RunPage {
public:
  // out: where rows are printed (not owned); bQuiet prints only failure
  // rows, to err (not owned). pProgress (not owned, may be null) is erased
  // before each row when out is a terminal too, so rows never land inside
  // the line.
  CliPage(std::FILE* out, bool bQuiet, ProgressLine* pProgress = nullptr, std::FILE* err = stderr);

  // Rows the list holds before the run (the summary); printed at once.
  void SetInitialRows(const std::vector<std::u16string>& rows);

  void AddLogRow(const std::u16string& text) override;
  std::vector<std::u16string> GetLogRows() override { return m_vecRows; }
  void SetBarRange(int bar, int nLower, int nUpper) override;
  void SetBarPos(int bar, int nPos) override;
  void ShowControl(int, bool) override {}
  void EnableControl(int, bool) override {}
  void SetStatusLine(const std::u16string& text) override { m_strStatus = text; }
  void ShowMessage(const std::u16string& text) override { m_vecMessages.push_back(text); }
  void LogTextWritten(std::u16string_view text) override;

  const std::vector<std::u16string>& Messages() const { return m_vecMessages; }
  const std::u16string& StatusLine() const { return m_strStatus; }
  // Whether a row said that the run's log file could not be created.
  bool LogNotCreated() const;

private:
  void Print(const std::u16string& text, std::FILE* out);

  std::FILE* m_pOut;  // not owned
  std::FILE* m_pErr;  // not owned
  bool m_bQuiet;
  ProgressLine* m_pProgress;  // not owned; null: no progress line
  bool m_bRowsOnTerminal;
  int m_nDatabaseUpper = 0;
  std::vector<std::u16string> m_vecRows;
  std::vector<std::u16string> m_vecMessages;
  std::u16string m_strStatus;
  std::u16string m_strLogLine;  // log text after its last line end
};

// Whether a row reports a failure: a database not copied or opened, a
// document not moved or copied, a log, journal or source problem, a folder
// list or pass cut short, a run ended by SIGTERM or SIGHUP. "Item spared:"
// is a choice, not a failure.
bool IsFailureRow(std::u16string_view row);

}  // namespace cli
