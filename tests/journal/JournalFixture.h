// Runs that change originals with a journal, and undo, for the journal
// suites: databases from nsf-json text, dumps compared with folder entries
// as sets.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/journal/RecordKinds.h"
#include "engine/journal/RunJournal.h"
#include "tests/engine/RunFixture.h"
#include "tests/support/NsfJson.h"

namespace journaltest {

namespace fs = std::filesystem;

struct ActionCase {
  const char* szName;
  int nAction;  // the run's m_nAction
  bool bSoftDeletions;
};

inline const ActionCase kActions[] = {{"delete", 0, true},
                                      {"trash with soft deletions", 1, true},
                                      {"trash without soft deletions", 1, false},
                                      {"move", 2, true},
                                      {"copy", 3, false}};

// nFolders folders of nPerFolder memos, every second one a duplicate of the
// one before; every fifth memo is also in "Starred", and the sub folder
// "Dups" exists already (a run would make it, and undo leaves it).
inline std::string Mailbox(int nFolders, int nPerFolder, bool bSoftDeletions) {
  std::vector<std::string> notes;
  std::string starred;
  int id = 4;
  for (int f = 0; f < nFolders; ++f) {
    std::string entries;
    for (int i = 0; i < nPerFolder; ++i, id += 4) {
      notes.push_back(runtest::Memo(id, "f" + std::to_string(f) + "-" + std::to_string(i / 2),
                                    R"J(, { "name": "Body", "type": "text", "value": "text of )J" +
                                        std::to_string(i / 2) + R"J(" })J"));
      entries += (i ? "," : "") + std::to_string(id);
      if (i % 5 == 0) starred += (starred.empty() ? "" : ",") + std::to_string(id);
    }
    notes.push_back(runtest::Folder(100000 + 4 * f, "Folder " + std::to_string(f), entries));
  }
  notes.push_back(runtest::Folder(200000, "Starred", starred));
  notes.push_back(runtest::Folder(200004, "Dups", ""));
  notes.push_back(R"J({ "class": "view", "noteId": 200008, "name": "($All)", "select": "all" })J");
  return runtest::Database(notes, bSoftDeletions);
}

class RowsOut : public journal::UndoOutput {
public:
  std::vector<std::u16string> rows;
  void AddRow(const std::u16string& text) override { rows.push_back(text); }
  void SetProgress(std::size_t, std::size_t) override {}
};

class JournalTest : public runtest::RunTest {
protected:
  // Sets up a single-file run of the action on db, as tarnwick-cli does,
  // and creates its journal; the run itself is then Go().
  std::unique_ptr<journal::RunJournal> Prepare(const fs::path& db, int nAction) {
    s.m_bModifyOriginal = 1;
    s.m_nAction = nAction;
    s.m_strSubFolderName = u"Dups";
    s.m_bMultipleFiles = 0;
    s.m_strSingleFilePath = runtest::U(db);
    s.m_vecSelectedFolders.clear();
    EXPECT_TRUE(SelectEveryFolder(s));
    page.rows = SummaryRows(s);
    m_nSummaryRows = page.rows.size();
    m_options.strLogPath = StartRun(s, page, runtest::U(m_tmp / "logs"));
    logPath = platform::ToUtf8(m_options.strLogPath);
    auto journal = journal::StartRunJournal(s, page, m_options.strLogPath);
    m_options.pJournal = journal.get();
    return journal;
  }
  void Go() { RunWorker(s, page, m_options); }

  // The whole run; returns the journal's path.
  std::string RunJournaled(const fs::path& db, int nAction) {
    auto journal = Prepare(db, nAction);
    if (!journal) return {};
    Go();
    return platform::ToUtf8(journal->Path());
  }

  static journal::UndoResult Undo(const std::string& journalPath, RowsOut* out = nullptr) {
    RowsOut own;
    return journal::UndoJournal(journalPath, out ? *out : own);
  }

  RunOptions m_options;
};

}  // namespace journaltest
