// RunJournal: the journal of one run that may change original databases,
// the file beside its log file (the log's path with ".txt" replaced by
// ".journal"). A run started in the same second as the last one, after it
// ended, shares that one's log file, and so appends to its journal; while
// that one still runs, the log took the next free name (OpenRunLog) and the
// journal follows it. The writer holds the file locked for the run.
//
// Every disposal becomes one "nsf" record (DatabaseRecords.h) holding the
// database, note id, action, the views and folders that held the document,
// the sub folder and the copy's id, and a whole copy of any document the
// run removes for good. Sync makes the records durable with one flush.
//
// A journal that cannot be created keeps the run from starting; a record
// or flush that fails marks the journal failed, and the folder pass then
// stops the run before its next disposal (FolderPass.cpp).
//
// Threads: StartRunJournal on the thread that starts the run; the journal
// itself on the run's worker.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "engine/journal/JournalFile.h"
#include "engine/journal/JournalSink.h"

struct RunSettings;
class RunPage;

namespace journal {

inline constexpr std::u16string_view kJournalNotCreatedRow = u"Journal file could not be created: ";
inline constexpr std::u16string_view kJournalNotWrittenRow = u"Journal file could not be written: ";

class RunJournal : public JournalSink {
public:
  // originals: the databases of the run (UTF-8 paths). Disposals in any
  // other database — the temporary database of a mail source, which keeps
  // its own undo records — are not journaled here.
  RunJournal(std::unique_ptr<JournalWriter> writer, std::u16string strPath, std::set<std::string> originals)
      : m_pWriter(std::move(writer)), m_strPath(std::move(strPath)), m_setOriginals(std::move(originals)) {}

  [[nodiscard]] bool Record(LNDatabase& db, const Disposal& disposal) override;
  [[nodiscard]] bool Sync() override;
  std::u16string TakeFailureRow() override;
  // A record of another kind (a mail source's write-back), written and
  // synced before the change it describes. False marks the journal failed.
  [[nodiscard]] bool AppendDurable(const JournalRecord& record);

  const std::u16string& Path() const { return m_strPath; }
  // A record or flush failed: some disposal of the run may be missing.
  bool Failed() const { return m_bFailed; }
  std::size_t RecordCount() const { return m_nRecords; }

private:
  std::unique_ptr<JournalWriter> m_pWriter;  // owned
  std::u16string m_strPath;
  std::set<std::string> m_setOriginals;
  bool m_bFailed = false;
  bool m_bReported = false;
  std::size_t m_nRecords = 0;
};

// logPath with a final ".txt" replaced by ".journal" (appended otherwise).
std::u16string JournalPathForLog(const std::u16string& logPath);

// Whether a run with these settings may change an original database.
bool RunChangesOriginals(const RunSettings& settings, bool bDryRun);

// Creates the journal of a run, after StartRun (engine/Run.h) returned
// logPath. On failure it adds the row "Journal file could not be created: "
// + path to the page and the log file, gives the page back as the end of a
// run does, clears m_bRunning and returns nullptr: the run must not start.
std::unique_ptr<RunJournal> StartRunJournal(RunSettings& settings, RunPage& page,
                                            const std::u16string& logPath);

}  // namespace journal
