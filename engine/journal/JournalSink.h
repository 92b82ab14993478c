// JournalSink: what a run that changes original databases tells its journal,
// so that undo can reverse every disposal (engine/journal/RunJournal.h is
// the file-backed sink; a run without a sink is journaled nowhere).
//
// The folder pass calls Record before it disposes of a document (for a move
// or copy, after the copy exists and before the original goes) and Sync
// before the changes commit: when no batch transaction is open, right after
// Record; otherwise once per batch, before its commit. A false answer means
// the entry is not (durably) in the journal: the disposal must not happen,
// or the batch must not commit, and the run stops with TakeFailureRow().
//
// Threads: called on the run's worker thread only.
#pragma once

#include <string>

#include "lnapi/LNNotes.h"

class JournalSink {
public:
  struct Disposal {
    NOTEID dwNoteId = 0;
    int nAction = 0;            // 0 delete, 1 trash, 2 move, 3 copy (the run's m_nAction)
    NOTEID dwCopyId = 0;        // the copy filed by a move or copy
    NOTEID dwTargetFolder = 0;  // the sub folder of a move or copy
  };

  virtual ~JournalSink() = default;
  // db is the run's open database, holding the document as it is before
  // the disposal.
  [[nodiscard]] virtual bool Record(LNDatabase& db, const Disposal& disposal) = 0;
  [[nodiscard]] virtual bool Sync() = 0;
  // After a failed Record or Sync: the row for the log list and file the
  // first time, then "" (one failure, one row).
  virtual std::u16string TakeFailureRow() = 0;
};
