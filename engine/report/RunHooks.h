// What a run tells the duplicate report, and what it asks the spare set.
//
// The run takes both through its options (engine/Run.h, RunOptions): a run
// given neither is exactly the run without a report. Both are called on the
// run's worker thread, one call at a time, and must not throw (a report that
// cannot read a document leaves that document's fields empty; it never
// stops the run).
//
// For each database the run opens and judges:
//   BeginDatabase(source path)      the path as the user gave it, also in
//                                   new-file mode (the copy keeps the note ids)
//   Kept(digest, id, folder)        a document registered its digest and is
//                                   kept: it may head a group
//   Duplicate(settings, digest, document, id)
//                                   a duplicate of the document that
//                                   registered digest; document is open
//   KeysForgotten()                 the run emptied its digest map (end of a
//                                   folder in same-folder scope): a digest met
//                                   later starts a new group
//   EndDatabase()                   the database is done
#pragma once

#include <memory>
#include <string>

#include "engine/RunSettings.h"
#include "lnapi/LNNotes.h"

class DuplicateSink {
public:
  virtual ~DuplicateSink() = default;
  virtual void BeginDatabase(const std::u16string& path) = 0;
  virtual void Kept(const KeyDigest& digest, NOTEID id, const std::u16string& folder) = 0;
  // settings give the open database (m_db, m_hDatabase) and the criteria.
  virtual void Duplicate(RunSettings& settings, const KeyDigest& digest,
                         const LNMailMessage& document, NOTEID id) = 0;
  virtual void KeysForgotten() = 0;
  virtual void EndDatabase() = 0;
  // A duplicate of the document that registered digest that the size guard
  // keeps (its size differs too much from the kept one's); document is open.
  virtual void Guarded(RunSettings& settings, const KeyDigest& digest, const LNMailMessage& document,
                       NOTEID id) {
    (void)settings, (void)digest, (void)document, (void)id;
  }

  // Databases judged side by side each fill a sink of their own, made here
  // on the run's thread and taken back in run order by TakeDatabases. Null:
  // this sink takes one database at a time, and the run judges them so.
  virtual std::unique_ptr<DuplicateSink> NewDatabaseSink() { return nullptr; }
  // Appends every database of part (a sink NewDatabaseSink made, now idle).
  virtual void TakeDatabases(DuplicateSink& part) { (void)part; }
};

// Which duplicates a run may dispose of. Any duplicate it does not dispose
// of is kept with the row "Item spared:\t" + note id.
class SparePredicate {
public:
  virtual ~SparePredicate() = default;
  // path: the source database as BeginDatabase above names it.
  [[nodiscard]] virtual bool Disposes(const std::u16string& path, const KeyDigest& digest,
                                      NOTEID id) const = 0;
  // The member that the file names as kept for the group of digest, or 0
  // when it names none: that member then stays, whatever the keep rules say.
  [[nodiscard]] virtual NOTEID KeptOf(const std::u16string& path, const KeyDigest& digest) const {
    (void)path, (void)digest;
    return 0;
  }
};
