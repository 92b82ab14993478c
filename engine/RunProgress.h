// RunProgress: how far a run has come through the documents of the database
// it is working on, for a progress display (tarnwick-cli's line on a
// terminal). A run is given one in RunOptions::pProgress; without one it
// counts nothing and does no extra work.
//
// Threads: called on the run's worker thread, one call at a time, between
// the page's calls. The run does not own it; it must outlive the run.
#pragma once

#include <cstdint>
#include <string>

class RunProgress {
public:
  virtual ~RunProgress() = default;

  // The folder passes of a database begin. strPath is the database as the
  // run was given it (the source, also in new-file mode); nTotal counts the
  // documents filed in the folders that its passes will walk, each once
  // however many of those folders hold it.
  virtual void DatabaseStarted(const std::u16string& strPath, std::uint64_t nTotal) = 0;

  // One more document of that database has been judged (kept, disposed of,
  // or passed over because it could not be opened or is outside the dates);
  // told at its first entry only.
  virtual void DocumentJudged() = 0;
};
