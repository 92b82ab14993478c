// tarnwick-cli writes a journal for every run that changes originals and
// reverses it with --undo: rows, exit statuses, and journals that cannot be
// made or read.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "engine/RunLog.h"
#include "platform/File.h"
#include "platform/Paths.h"
#include "tests/journal/JournalFixture.h"

using namespace journaltest;

namespace {

struct Outcome {
  int nExit = -1;
  std::vector<std::string> lines;  // standard output
  std::string err;
};

class CliUndoTest : public testsupport::TempDirTest {
protected:
  Outcome Cli(const std::vector<std::string>& args) {
    std::string command = "'" + testsupport::ToolPath("tarnwick-cli").string() + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " </dev/null >'" + (m_tmp / "out").string() + "' 2>'" + (m_tmp / "err").string() + "'";
    const int status = std::system(command.c_str());
    Outcome o;
    o.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream out(testsupport::ReadFile(m_tmp / "out"));
    for (std::string line; std::getline(out, line);) o.lines.push_back(line);
    o.err = testsupport::ReadFile(m_tmp / "err");
    return o;
  }
  std::string Db(const std::string& name) {
    testsupport::MakeDatabase(m_tmp / name, Mailbox(1, 4, true));
    return (m_tmp / name).string();
  }
  // Deletes the duplicates of db; returns the journal's path.
  std::string DeleteRun(const std::string& db) {
    const Outcome run = Cli({"--action", "delete", "--yes", "--quiet", "--log-dir", Logs(), db});
    EXPECT_EQ(run.nExit, 0) << run.err;
    EXPECT_EQ(run.lines.size(), 2u);
    return run.lines.size() == 2 ? run.lines[1].substr(std::string("Journal file path: ").size()) : "";
  }
  std::string Logs() const { return (m_tmp / "logs").string(); }
};

}  // namespace

TEST_F(CliUndoTest, UndoPrintsItsRowsAndIsIdempotent) {
  const std::string db = Db("mail.nsf");
  const std::string before = testsupport::DumpWithEntrySets(db);
  const std::string journalPath = DeleteRun(db);
  ASSERT_TRUE(fs::exists(journalPath));
  EXPECT_EQ(fs::path(journalPath).parent_path(), fs::path(Logs()));
  for (const char* restored : {"Restored: 2 documents", "Restored: 0 documents"}) {
    const Outcome undo = Cli({"--undo", journalPath, "--quiet", "--log-dir", Logs()});
    EXPECT_EQ(undo.nExit, 0) << undo.err;
    EXPECT_EQ(undo.lines, (std::vector<std::string>{"Undoing: " + db, restored}));
    EXPECT_EQ(testsupport::DumpWithEntrySets(db), before);
  }
}

TEST_F(CliUndoTest, JournalsThatCannotBeUndoneAreNamed) {
  const std::string db = Db("mail.nsf");
  const std::string journalPath = DeleteRun(db);
  testsupport::WriteFile(m_tmp / "text.journal", "not one\n");
  fs::remove(db);
  const std::string text = (m_tmp / "text.journal").string(), missing = (m_tmp / "none.journal").string();
  struct Case {
    std::vector<std::string> args;
    int nExit;
    std::vector<std::string> lines;
    std::string err;
  };
  const Case cases[] = {
      {{"--undo", missing}, 2, {}, "tarnwick-cli: Cannot undo " + missing + ": the file does not exist\n"},
      {{"--undo", text}, 2, {}, "tarnwick-cli: Cannot undo " + text + ": it is not a Tarnwick journal\n"},
      {{"--undo", journalPath, "--action", "delete"}, 2, {}, "tarnwick-cli: --undo cannot be used with --action\n"},
      {{"--undo", journalPath, db}, 2, {}, "tarnwick-cli: --undo takes a journal, not a database\n"},
      {{"--undo", journalPath},
       1,
       {"Undoing: " + db, "Not restored:\t16 (Cannot open " + db + ": the file does not exist)",
        "Not restored:\t8 (Cannot open " + db + ": the file does not exist)", "Restored: 0 documents"},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + (c.args.size() > 2 ? " " + c.args[2] : ""));
    const Outcome o = Cli(c.args);
    EXPECT_EQ(o.nExit, c.nExit);
    EXPECT_EQ(o.lines, c.lines);
    EXPECT_EQ(o.err, c.err);
  }
}

TEST_F(CliUndoTest, RunWithoutAPlaceForItsJournalDoesNotStart) {
  const std::string db = Db("mail.nsf"), mbox = (m_tmp / "box").string();
  const std::string entry = "From a Fri Mar  5 14:07:09 2010\nFrom: a@example.org\nSubject: a\n\none\n\n";
  testsupport::WriteFile(mbox, entry + entry);
  setenv("XDG_CACHE_HOME", (m_tmp / "cache").c_str(), 1);
  testsupport::WriteFile(m_tmp / "file", "");
  const std::string logs = (m_tmp / "file/logs").string();
  for (const std::string& source : {db, mbox}) {
    SCOPED_TRACE(source);
    const std::string before = testsupport::ReadFile(source);
    const Outcome o = Cli({"--action", "delete", "--yes", "--log-dir", logs, source});
    EXPECT_EQ(o.nExit, 1);
    ASSERT_FALSE(o.lines.empty());
    // No log file was made, so no line names one.
    const std::string row = o.lines.back();
    EXPECT_EQ(row.rfind("Journal file could not be created: " + logs + "/Tarnwick_log_", 0), 0u) << row;
    EXPECT_EQ(row.substr(row.size() - 8), ".journal");
    EXPECT_EQ(testsupport::ReadFile(source), before);
  }
  unsetenv("XDG_CACHE_HOME");
}

TEST_F(CliUndoTest, UndoneJournalRestoresNothingAfterOtherRunsOfTheSameSources) {
  const std::string entry = "From a Fri Mar  5 14:07:09 2010\nFrom: a@example.org\nSubject: a\n\none\n\n";
  const std::string mbox = (m_tmp / "box").string();
  testsupport::WriteFile(mbox, entry + entry + entry);
  setenv("XDG_CACHE_HOME", (m_tmp / "cache").c_str(), 1);
  for (const std::string& source : {Db("mail.nsf"), mbox}) {
    SCOPED_TRACE(source);
    const auto state = [&] { return source == mbox ? testsupport::ReadFile(source) : testsupport::DumpWithEntrySets(source); };
    const std::string name = "logs-" + fs::path(source).filename().string();
    const Outcome first = Cli({"--action", "delete", "--yes", "--quiet", "--log-dir", (m_tmp / name).string(), source});
    ASSERT_EQ(first.lines.size(), 2u) << first.err;
    const std::string journalA = first.lines[1].substr(std::string("Journal file path: ").size());
    EXPECT_EQ(Cli({"--undo", journalA}).nExit, 0);
    // Another run removes the same duplicates again, with a journal of its own.
    const Outcome again =
        Cli({"--action", "delete", "--yes", "--quiet", "--log-dir", (m_tmp / (name + "-other")).string(), source});
    EXPECT_EQ(again.nExit, 0) << again.err;
    const std::string afterSecondRun = state();
    const Outcome undo = Cli({"--undo", journalA});
    EXPECT_EQ(undo.nExit, 0) << undo.err;
    EXPECT_EQ(undo.lines, (std::vector<std::string>{"Undoing: " + source, "Restored: 0 documents"}));
    EXPECT_EQ(state(), afterSecondRun);
  }
  unsetenv("XDG_CACHE_HOME");
}

TEST_F(CliUndoTest, RunsOverlappingInOneSecondNeverShareALogOrJournal) {
  const std::string entry = "From a Fri Mar  5 14:07:09 2010\nFrom: a@example.org\nSubject: a\n\none\n\n";
  const std::string db = Db("mail.nsf"), mbox = (m_tmp / "box").string();
  testsupport::WriteFile(mbox, entry + entry);
  setenv("XDG_CACHE_HOME", (m_tmp / "cache").c_str(), 1);
  const std::string dbBefore = testsupport::DumpWithEntrySets(db), mboxBefore = testsupport::ReadFile(mbox);
  fs::create_directories(Logs());
  // The test holds the second's log and journal as a run still going would,
  // from the start of a second, so that both runs fall within it.
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  std::this_thread::sleep_for(std::chrono::seconds(1) - (now % std::chrono::seconds(1)) +
                              std::chrono::milliseconds(20));
  const std::string held = platform::ToUtf8(LogFilePath(platform::FromUtf8(Logs()), platform::TimeStamp()));
  platform::CFile log;
  ASSERT_TRUE(log.Open(held, platform::CFile::Mode::createNew));
  ASSERT_TRUE(log.Write("held", 4));
  std::string error;
  auto journal = journal::JournalWriter::Open(held.substr(0, held.size() - 4) + ".journal", &error);
  ASSERT_TRUE(journal) << error;
  std::string printedLogs, printedJournals;
  for (const std::string& source : {db, mbox}) {
    const Outcome run = Cli({"--action", "delete", "--yes", "--quiet", "--log-dir", Logs(), source});
    EXPECT_EQ(run.nExit, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 2u);
    printedLogs += run.lines[0] + "\n";
    printedJournals += run.lines[1] + "\n";
  }
  if (platform::ToUtf8(LogFilePath(platform::FromUtf8(Logs()), platform::TimeStamp())) != held)
    GTEST_SKIP() << "the second ended before both runs did";
  const std::string stem = held.substr(0, held.size() - 4);
  // The first run took the next names; the second, after it ended, appended to them.
  EXPECT_EQ(printedLogs, "Log file path: " + stem + "-2.txt\nLog file path: " + stem + "-2.txt\n");
  EXPECT_EQ(printedJournals, "Journal file path: " + stem + "-2.journal\nJournal file path: " + stem + "-2.journal\n");
  EXPECT_EQ(testsupport::ReadFile(held), "held");
  EXPECT_EQ(testsupport::ReadFile(stem + ".journal"), std::string(journal::kJournalHeader));
  const Outcome undo = Cli({"--undo", stem + "-2.journal"});
  EXPECT_EQ(undo.nExit, 0) << undo.err;
  EXPECT_EQ(testsupport::DumpWithEntrySets(db), dbBefore);
  EXPECT_EQ(testsupport::ReadFile(mbox), mboxBefore);
  unsetenv("XDG_CACHE_HOME");
}

TEST_F(CliUndoTest, JournalCopyThatFillsTheDiskLeavesNothingAndNamesTheCause) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  std::string mail;
  for (int i = 0; mail.size() < 600 * 1024; ++i)
    mail += "From a Fri Mar  5 14:07:09 2010\nSubject: " + std::to_string(i % 50) + "\n\n" + std::string(4000, 'x') + "\n\n";
  const fs::path mbox = m_tmp / "box", logs = m_tmp / "small";
  testsupport::WriteFile(mbox, mail);
  fs::create_directories(logs);
  setenv("XDG_CACHE_HOME", (m_tmp / "cache").c_str(), 1);
  // The log folder is a 256 KB file system of its own, in a mount namespace
  // of the command's own; what is left in it is listed before it goes.
  const std::string command =
      "unshare -m sh -c \"mount -t tmpfs -o size=256k tmpfs '" + logs.string() + "' || exit 77; '" +
      testsupport::ToolPath("tarnwick-cli").string() + "' --action delete --yes --quiet --log-dir '" + logs.string() +
      "' '" + mbox.string() + "' >'" + (m_tmp / "out").string() + "' 2>'" + (m_tmp / "err").string() +
      "'; echo \\$? >'" + (m_tmp / "status").string() + "'; find '" + logs.string() + "' >'" +
      (m_tmp / "listing").string() + "'\" 2>/dev/null";
  const int status = std::system(command.c_str());
  unsetenv("XDG_CACHE_HOME");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) GTEST_SKIP() << "a tmpfs cannot be mounted here";
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "status"), "1\n");
  const std::string err = testsupport::ReadFile(m_tmp / "err");
  EXPECT_EQ(err.rfind("Source not written back: " + mbox.string() + " (the journal's copy cannot be made: ", 0), 0u) << err;
  EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "listing").find("original"), std::string::npos);
  EXPECT_EQ(testsupport::ReadFile(mbox), mail);
}
