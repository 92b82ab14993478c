// Every action run on an original and then undone gives back the database
// as it was, also when the run or the undo is killed at any moment.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "tests/journal/JournalFixture.h"

using namespace journaltest;

namespace {

// A child process that runs body and is killed after delayMs (counted from
// the moment it writes its ready line); returns what it wrote on that line.
template <class Body>
std::string KilledChild(int delayMs, Body body) {
  int ready[2];
  if (::pipe(ready) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    body(ready[1]);
    ::_exit(0);
  }
  ::close(ready[1]);
  std::string line;
  char c = 0;
  while (::read(ready[0], &c, 1) == 1 && c != '\n') line += c;
  std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  return line;
}

void WriteLine(int fd, const std::string& text) {
  const std::string line = text + "\n";
  (void)!::write(fd, line.data(), line.size());
}

}  // namespace

TEST_F(JournalTest, EachActionUndoneGivesTheDatabaseBackAndASecondUndoChangesNothing) {
  for (const ActionCase& c : kActions) {
    SCOPED_TRACE(c.szName);
    const fs::path db = Db(std::string("a") + std::to_string(&c - kActions) + ".nsf", Mailbox(2, 6, c.bSoftDeletions));
    const std::string before = testsupport::DumpWithEntrySets(db);
    const std::string journalPath = RunJournaled(db, c.nAction);
    ASSERT_FALSE(journalPath.empty());
    EXPECT_EQ(journalPath, logPath.substr(0, logPath.size() - 4) + ".journal");
    ASSERT_NE(testsupport::DumpWithEntrySets(db), before);
    RowsOut out;
    const journal::UndoResult first = Undo(journalPath, &out);
    EXPECT_EQ(first.status, journal::UndoStatus::complete);
    EXPECT_EQ(first.nRestored, 6u);  // three duplicates per folder
    EXPECT_EQ(out.rows, (std::vector<std::u16string>{u"Undoing: " + runtest::U(db), u"Restored: 6 documents"}));
    EXPECT_EQ(testsupport::DumpWithEntrySets(db), before);
    const journal::UndoResult second = Undo(journalPath);
    EXPECT_EQ(second.status, journal::UndoStatus::complete);
    EXPECT_EQ(second.nRestored, 0u);
    EXPECT_EQ(testsupport::DumpWithEntrySets(db), before);
    fs::remove(journalPath);  // the next run may start in the same second
  }
}

TEST_F(JournalTest, RunsKilledAtRandomMomentsAreUndoneWhole) {
  std::mt19937 random(std::random_device{}());
  for (const ActionCase& c : kActions) {
    for (int round = 0; round < 2; ++round) {
      const int delayMs = std::uniform_int_distribution<int>(0, 400)(random);
      SCOPED_TRACE(std::string(c.szName) + ", killed after " + std::to_string(delayMs) + " ms");
      const fs::path db = m_tmp / "killed.nsf";
      fs::remove(db);
      Db("killed.nsf", Mailbox(6, 150, c.bSoftDeletions));
      const std::string before = testsupport::DumpWithEntrySets(db);
      const std::string journalPath = KilledChild(delayMs, [&](int fd) {
        auto journal = Prepare(db, c.nAction);
        WriteLine(fd, journal ? platform::ToUtf8(journal->Path()) : "");
        Go();
      });
      ASSERT_FALSE(journalPath.empty());
      const journal::UndoResult undone = Undo(journalPath);
      EXPECT_EQ(undone.status, journal::UndoStatus::complete);
      EXPECT_EQ(testsupport::DumpWithEntrySets(db), before);
      fs::remove(journalPath);
    }
  }
}

TEST_F(JournalTest, UndoKilledMidWayFinishesWhenRunAgain) {
  std::mt19937 random(std::random_device{}());
  for (int round = 0; round < 3; ++round) {
    const int delayMs = std::uniform_int_distribution<int>(0, 300)(random);
    SCOPED_TRACE("undo killed after " + std::to_string(delayMs) + " ms");
    const fs::path db = m_tmp / "undo.nsf";
    fs::remove(db);
    Db("undo.nsf", Mailbox(4, 300, false));
    const std::string before = testsupport::DumpWithEntrySets(db);
    const std::string journalPath = RunJournaled(db, 0);
    KilledChild(delayMs, [&](int fd) {
      WriteLine(fd, "");
      Undo(journalPath);
    });
    EXPECT_EQ(Undo(journalPath).status, journal::UndoStatus::complete);
    EXPECT_EQ(testsupport::DumpWithEntrySets(db), before);
    fs::remove(journalPath);
    page.rows.clear();
  }
}

TEST_F(JournalTest, DamageIsNamedAndEveryRecordAroundItIsUndone) {
  struct Case {
    const char* szWhat;
    std::size_t nRecord;  // of the six the run writes
    std::size_t nAt;      // byte of that record flipped
    bool bCut;            // instead: the file ends inside that record
    bool bDamage;
  };
  const Case cases[] = {{"a flipped byte in the third record's payload", 2, 40, false, true},
                        {"a flipped byte in the third record's length", 2, 1, false, true},
                        {"the last record cut off, as a kill leaves it", 5, 20, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.szWhat);
    const fs::path db = m_tmp / "damaged.nsf";
    fs::remove(db);
    Db("damaged.nsf", Mailbox(2, 6, true));
    const std::size_t nBefore = DocumentIds(Dump(db)).size();
    const std::string journalPath = RunJournaled(db, 0);
    std::string error;
    const auto contents = journal::ReadJournal(journalPath, &error);
    ASSERT_TRUE(contents) << error;
    ASSERT_EQ(contents->vecOffsets.size(), 6u);
    const std::size_t at = contents->vecOffsets[c.nRecord];
    std::string bytes = testsupport::ReadFile(journalPath);
    if (c.bCut) bytes.resize(at + c.nAt);
    else bytes[at + c.nAt] = static_cast<char>(bytes[at + c.nAt] ^ 1);
    testsupport::WriteFile(journalPath, bytes);
    RowsOut out;
    const journal::UndoResult undone = Undo(journalPath, &out);
    std::vector<std::u16string> rows;
    if (c.bDamage)
      rows.push_back(u"Journal damaged: " + runtest::U(journalPath) + u" (at byte " +
                     platform::DecimalText(static_cast<long long>(at)) + u")");
    rows.push_back(u"Undoing: " + runtest::U(db));
    rows.push_back(u"Restored: 5 documents");
    EXPECT_EQ(out.rows, rows);
    EXPECT_EQ(undone.status, c.bDamage ? journal::UndoStatus::incomplete : journal::UndoStatus::complete);
    // Only the document of the unreadable record stays gone.
    EXPECT_EQ(DocumentIds(Dump(db)).size(), nBefore - 1);
    fs::remove(journalPath);
  }
}

TEST_F(JournalTest, UndoAskedToStopBeginsNoRecordAndANewUndoFinishes) {
  const fs::path db = Db("stopped.nsf", Mailbox(2, 6, false));
  const std::string before = testsupport::DumpWithEntrySets(db);
  const std::string journalPath = RunJournaled(db, 0);
  const std::string after = testsupport::DumpWithEntrySets(db);
  RowsOut out;
  const journal::UndoResult stopped = journal::UndoJournal(journalPath, out, [] { return true; });
  EXPECT_EQ(stopped.status, journal::UndoStatus::incomplete);
  EXPECT_EQ(stopped.nRestored, 0u);
  EXPECT_EQ(testsupport::DumpWithEntrySets(db), after);
  EXPECT_EQ(Undo(journalPath).status, journal::UndoStatus::complete);
  EXPECT_EQ(testsupport::DumpWithEntrySets(db), before);
}
