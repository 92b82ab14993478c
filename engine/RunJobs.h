// Databases judged side by side: a multiple-file run given RunOptions::nJobs
// above 1 judges up to that many databases at once, each on a thread of its
// own with its own settings copy, session, database, log record and report
// part, and gives out their rows, log texts and report groups in run order,
// each database whole once every database before it has been given out. What
// a user sees (rows, log file, report, outcome) is what the same run judging
// one database at a time shows; only the order of the work differs.
//
// Runs that change originals (a journal) or read mail sources, and runs whose
// report cannot be split per database, judge one database at a time: the
// journal must record disposals in the order the run makes them, and the
// mail sources work through one provider.
//
// Threads: called on the run's worker thread, which alone touches the page
// and the run's log; the job threads touch only their own objects, the
// progress display (RunProgress, which must take calls from any thread; the
// line shows the first database not yet given out) and the names of new
// copies, which they choose in run order under a lock. Stop (m_bRunning of
// the run's settings) starts no further database and is passed on to every
// database being judged, which ends after its current folder pass.
#pragma once

#include <string>

struct RunSettings;
struct RunOptions;
class RunPage;
class RunLog;

// Whether the run's databases are judged side by side (see above).
bool JudgesSideBySide(const RunSettings& settings, const RunOptions& options);

// Judges m_vecFilePaths side by side, replaying each database into log and
// moving the database bar of page. Returns whether any database was not
// processed completely.
bool RunDatabasesSideBySide(RunSettings& settings, RunPage& page, RunLog& log, const RunOptions& options);

// One database of a multiple-file run as the run's loop judges it, without
// the run's start and end (defined in Run.cpp). Returns whether it was not
// processed completely.
bool ProcessRunDatabase(RunSettings& settings, RunPage& page, const RunOptions& options,
                        const std::u16string& source);
