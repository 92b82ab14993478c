// Folder passes: one walk over the entries of one folder of the open
// database (m_db). Each document is judged (engine/DuplicateKeys.h), each
// duplicate disposed of, each kept document logged to the file, and the
// folder ends with its summary line.
//
// ProcessFolderDelete deletes duplicates without a stub: action 0 in the
// original file, and every new-file run (m_db is then the copy).
// ProcessFolderAction moves to the trash (1), moves to the sub folder (2) or
// copies to it (3).
//
// Changes are committed in batches per pass, and each document's disposal is
// one all-or-nothing unit inside the batch: a move either leaves the copy in
// the sub folder and the original gone, or changes nothing (the row and file
// text "Item not moved:\t" + id then say so). No document is lost by a move.
// A batch whose commit fails is rolled back whole: its duplicates are not
// counted as disposed of, the row "Folder not fully processed: " + folder +
// " (" + error + ")" says so, the pass ends there, and later passes commit on
// their own.
//
// Both run on the run's worker thread and return whether m_bRunning is still
// set at the end. A Notes error while the folder is got or opened ends the
// pass at once without its end-of-folder steps. A pass that ended at an
// error, or could not read some of its documents, says so in the row
// "Folder not fully processed: " + folder + " (" + error + ")" and sets
// bIncomplete.
#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/RunSettings.h"
#include "engine/report/RunHooks.h"

class RunLog;
class ScopeJudgement;
class JournalSink;
class RunProgress;

struct PassContext {
  RunSettings& settings;
  RunLog& log;
  bool bDryRun = false;
  // No sub folder could be found or made: actions 2 and 3 dispose of
  // nothing, and the run says so in one row per database.
  bool bTargetMissing = false;
  // The name of the folder being passed, for the rows that name it.
  std::u16string strFolderName;
  // Dry run: the note id that registered each digest, to name the kept
  // document of every duplicate. Emptied with m_mapDuplicateKeys. Only
  // looked up, never walked in order, so hashed: one lookup per document.
  std::unordered_map<KeyDigest, NOTEID> mapKeptIds;
  // Not owned; null: disposals are journaled nowhere. When an entry cannot
  // be journaled, the pass reports it and clears m_bRunning before the next
  // disposal.
  JournalSink* pJournal = nullptr;
  // Set (never cleared) by a pass that ended at an error or skipped
  // documents it could not read; the run is then not complete.
  bool bIncomplete = false;
  // Told of every document the passes judge, once per database however many
  // folders file it; may be null (not owned).
  RunProgress* pProgress = nullptr;
  // The run's duplicate report and spare set (not owned; null when the run
  // has none), the database as they name it (the source, also in new-file
  // mode) and the folder of the current pass.
  DuplicateSink* pReport = nullptr;
  const SparePredicate* pSpare = nullptr;
  std::u16string strSourcePath;
  // The documents the progress total counts, ascending, and which of them
  // have been told; emptied with mapKeptIds.
  std::vector<NOTEID> vecProgressIds;
  std::vector<bool> vecProgressTold;
  // Set while the passes judge a scope whole before disposing of any of it
  // (not owned): JudgeFolder fills it, DecideScope settles it, and
  // ProcessJudgedFolder disposes of what it settled.
  ScopeJudgement* pScope = nullptr;
};

bool ProcessFolderAction(PassContext& ctx, LNViewFolder target, NOTEID folderId, int action);
bool ProcessFolderDelete(PassContext& ctx, NOTEID folderId);

// Whether the run judges each scope whole before disposing of anything:
// with a keep rule other than first, the date tolerance, the size guard or
// a spare file (which may name another kept member). Otherwise each pass is
// the one walk of ProcessFolderAction and ProcessFolderDelete.
[[nodiscard]] bool JudgesWholeScope(const RunSettings& settings, bool bSpare);
// Judges the folder's documents into ctx.pScope, in folder order, and
// writes nothing but a failure row; returns whether m_bRunning is still set.
bool JudgeFolder(PassContext& ctx, NOTEID folderId);
// Forms the groups of everything judged into ctx.pScope, chooses each kept
// member, and tells the report of each group in its kept member's order.
void DecideScope(PassContext& ctx);
// The pass of the folder judged nSlot-th into ctx.pScope: its log lines in
// judging order, each with its settled outcome, the disposals (the action of
// the run settings, as ProcessFolderAction or ProcessFolderDelete would do
// them) and the folder's summary line.
bool ProcessJudgedFolder(PassContext& ctx, LNViewFolder target, std::size_t nSlot);

// The folder's summary line: "Total Items Found: " ... " , Items not save: ".
// Each counter printed as the signed 32-bit value of its low 32 bits.
std::u16string FolderSummaryLine(std::uint64_t found, std::uint64_t duplicates,
                                 std::uint64_t notSaved);

// The row (and file text) of a pass whose sub folder is missing.
std::u16string TargetMissingRow(const std::u16string& folderName);
