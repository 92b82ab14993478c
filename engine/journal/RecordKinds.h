// Record kinds and undo. A journal holds records of several kinds: "nsf"
// for the changes of a run to a Notes database (engine/journal/RunJournal.h)
// and, from other modules, kinds of their own (the mail sources keep theirs
// in mail/). Each kind registers a function that reverses its records.
//
// Adding a kind:
//   1. Pick a short name no other kind uses ("mbox", "maildir").
//   2. Write records with JournalWriter::Append (JournalFile.h): the kind's
//      name, the target (the path that Undoing: names) and a body made with
//      BodyWriter; write and Sync them before the change they describe is
//      committed.
//   3. Register the undo once at start-up, before UndoJournal runs:
//        journal::RegisterRecordKind("mbox", &UndoMboxRecords);
//      (tarnwick-cli and the wizard call their modules' registration
//      function at start; the "nsf" kind is always there.)
//   4. The function gets the records of one target, newest first, as one
//      group, and reports each record, in that order, through UndoSession:
//      Restored(), AlreadyInPlace() or NotRestored(id, reason). It must be
//      idempotent (a second undo finds everything in place and restores
//      nothing) and safe to kill (each record is reversed whole or not at
//      all).
//
// Undo itself appends to the journal an "undone" record naming the records
// it reversed (restored, or found in place), so that a later undo leaves
// them alone whatever has happened to their targets since; a kind never
// sees a record that an undo already reversed.
//
// Threads: register before any undo starts; UndoJournal may then run on any
// one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/journal/JournalFile.h"

namespace journal {

// Where undo reports: rows (the same texts in tarnwick-cli and the wizard)
// and progress. Called on the thread that runs UndoJournal.
class UndoOutput {
public:
  virtual ~UndoOutput() = default;
  virtual void AddRow(const std::u16string& text) = 0;
  // nDone of nTotal records handled; called once with 0 before the first.
  virtual void SetProgress(std::size_t nDone, std::size_t nTotal) = 0;
};

class UndoSession {
public:
  UndoSession(UndoOutput& out, std::size_t nTotal) : m_out(out), m_nTotal(nTotal) {}
  // The driver's bookkeeping: the journal offsets of the group handed to a
  // kind, in the order given; Reversed() the offsets of those reported
  // restored or in place with no failure row of their own.
  void BeginGroup(std::vector<std::uint64_t> offsets);
  const std::vector<std::uint64_t>& Reversed() const { return m_vecReversed; }
  // One record reversed now, giving back nDisposals (a mail source's
  // record covers every message of its write-back).
  void Restored(std::size_t nDisposals = 1);
  // One record that a former undo already reversed.
  void AlreadyInPlace();
  // One record that cannot be reversed: what names the record (a note id),
  // reason says why ("the database does not exist", ...). bEndsRecord
  // false: more rows of the same record follow.
  void NotRestored(const std::u16string& what, const std::u16string& reason, bool bEndsRecord = true);
  std::size_t RestoredCount() const { return m_nRestored; }
  bool Complete() const { return m_bComplete; }

private:
  void Advance(bool bReversed);
  UndoOutput& m_out;
  std::size_t m_nTotal;
  std::size_t m_nDone = 0;
  std::vector<std::uint64_t> m_vecGroup;     // offsets of the group in hand
  std::size_t m_nInGroup = 0;                // records of it reported so far
  bool m_bRecordFailed = false;              // a row of the record in hand failed
  std::vector<std::uint64_t> m_vecReversed;  // of the group in hand
  std::size_t m_nRestored = 0;
  bool m_bComplete = true;
};

// Reverses records (one target, one kind, newest first).
using UndoRecords = std::function<void(const std::string& target,
                                       const std::vector<const JournalRecord*>& newestFirst,
                                       UndoSession& session)>;

// Registers (or replaces) the undo of a kind.
void RegisterRecordKind(const std::string& kind, UndoRecords undo);

enum class UndoStatus { complete, incomplete, notAJournal };

struct UndoResult {
  UndoStatus status = UndoStatus::complete;
  std::size_t nRestored = 0;
  // notAJournal: "Cannot undo PATH: reason"; incomplete with no rows: the
  // journal is held by a run still going ("Cannot undo PATH: a run still
  // going writes it"), and nothing was changed.
  std::string strError;
};

// The kind of undo's own records (see above); target empty, body u32 count
// and that many u64 offsets (two u32, low first) of reversed records.
inline constexpr std::string_view kUndoneKind = "undone";

// Reverses every record of the journal at path that no former undo
// reversed, newest first: first "Journal damaged: " + path + " (at byte N)"
// for each damaged stretch, then the rows "Undoing: " + target whenever the
// target changes, "Not restored:\t" + id + " (" + reason + ")" for each
// record that could not be reversed, "Journal file could not be written: "
// + path when undo's own record could not be appended, and last "Restored:
// N documents". Damage or a record not appended makes the result
// incomplete. A journal that is missing or not a journal gives notAJournal
// and no rows.
// stopRequested, when given, is asked before each group of records: once it
// says yes, the group in hand has finished and no further one is begun
// (incomplete; a new undo finishes the work).
UndoResult UndoJournal(const std::string& path, UndoOutput& out,
                       const std::function<bool()>& stopRequested = {});

inline constexpr std::u16string_view kUndoingRow = u"Undoing: ";
inline constexpr std::u16string_view kNotRestoredRow = u"Not restored:\t";
std::u16string JournalDamagedRow(const std::string& path, std::uint64_t nAt);
std::u16string RestoredRow(std::size_t nRestored);

}  // namespace journal
