// tarnwick-cli writes a journal for every run that changes originals and
// reverses it with --undo: rows, exit statuses, and journals that cannot be
// made or read.
#include <sys/wait.h>

#include <sstream>

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
