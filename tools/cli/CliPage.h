// The terminal as the run's page: log rows go to standard output as they
// come, one per line; bars, buttons and the status line have nothing to show.
// Quiet: standard output gets no rows, and failure rows go to standard error
// (so a script sees why a run failed). Used on one thread at a time (the run
// calls it from its worker).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/RunPage.h"

namespace cli {

class CliPage : public RunPage {
public:
  // out: where rows are printed, err: where a quiet page prints failure rows
  // (neither owned).
  CliPage(std::FILE* out, bool bQuiet, std::FILE* err = stderr) : m_pOut(out), m_pErr(err), m_bQuiet(bQuiet) {}

  // Rows the list holds before the run (the summary); printed at once.
  void SetInitialRows(const std::vector<std::u16string>& rows);

  void AddLogRow(const std::u16string& text) override;
  std::vector<std::u16string> GetLogRows() override { return m_vecRows; }
  void SetBarRange(int, int, int) override {}
  void SetBarPos(int, int) override {}
  void ShowControl(int, bool) override {}
  void EnableControl(int, bool) override {}
  void SetStatusLine(const std::u16string& text) override { m_strStatus = text; }
  void ShowMessage(const std::u16string& text) override { m_vecMessages.push_back(text); }

  const std::vector<std::u16string>& Messages() const { return m_vecMessages; }
  const std::u16string& StatusLine() const { return m_strStatus; }

private:
  std::FILE* m_pOut;  // not owned
  std::FILE* m_pErr;  // not owned
  bool m_bQuiet;
  std::vector<std::u16string> m_vecRows;
  std::vector<std::u16string> m_vecMessages;
  std::u16string m_strStatus;
};

// Whether a row reports a failure: a database not copied or opened, a
// document not moved or copied, a log, journal or source problem, a folder
// list or pass cut short. "Item spared:" is a choice, not a failure.
bool IsFailureRow(std::u16string_view row);

}  // namespace cli
