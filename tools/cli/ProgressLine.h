// The progress line tarnwick-cli keeps on a terminal's standard error while
// a run goes:
//
//   [2/5] /home/ada/mail/team.nsf: 1234 of 5000 documents, 850 per second, 0:09 left
//
// ("[2/5] " only when the run has several databases). The line is redrawn
// in place, at most ten times a second, cut to the terminal's width, and
// erased before a row of the run is printed on the same terminal and when
// the run ends. The caller decides whether there is a line at all (a
// terminal, no --quiet); this class only draws it.
//
// Threads: every call takes a lock, so the run's workers and the page may
// call from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "engine/RunProgress.h"

namespace cli {

// What the line shows; Format is a pure function of it.
struct ProgressState {
  std::string strDatabase;      // UTF-8
  int nDatabase = 0;            // 1-based position in the run
  int nDatabases = 0;           // 0 or 1: the run has one database
  std::uint64_t nJudged = 0;
  std::uint64_t nTotal = 0;
  double dSeconds = 0;          // since the database's passes began
};

// The line, at most nColumns - 1 characters wide (the last column would
// make some terminals wrap): the database path loses its start first.
std::string FormatProgress(const ProgressState& state, int nColumns);

class ProgressLine : public RunProgress {
public:
  using Clock = std::chrono::steady_clock;

  // err: the terminal's stream (not owned). now and columns default to the
  // steady clock and the width of err's terminal (80 when unknown).
  explicit ProgressLine(std::FILE* err, std::function<Clock::time_point()> now = {},
                        std::function<int()> columns = {});

  void DatabaseStarted(const std::u16string& strPath, std::uint64_t nTotal) override;
  void DocumentJudged() override;
  // Where the run stands among its databases (the database bar).
  void SetDatabaseBar(int nPos, int nUpper);
  // Erases the line if it is shown; the next draw brings it back.
  void Clear();

private:
  void DrawIfDue();

  std::mutex m_mutex;
  std::FILE* m_pErr;  // not owned
  std::function<Clock::time_point()> m_now;
  std::function<int()> m_columns;
  ProgressState m_state;
  Clock::time_point m_started;
  Clock::time_point m_lastDraw;
  bool m_bDrawn = false;     // a line has been drawn at least once
  bool m_bShown = false;     // the line is on the screen now
};

}  // namespace cli
