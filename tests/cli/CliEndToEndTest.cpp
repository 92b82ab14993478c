// tarnwick-cli as a user runs it: the built binary, its output, exit status,
// log file and databases.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <sqlite3.h>

#include "lnapi/LNNotes.h"
#include "tests/support/TestSupport.h"
#include "tools/nsftool/NsfJson.h"

namespace {

using testsupport::ShellQuote;

namespace fs = std::filesystem;

const std::string kThreeMemos = R"J({ "format": "nsf-json", "version": 1, "notes": [
  { "class": "document", "noteId": 4, "created": "2010-03-05T14:07:09", "items": [
    { "name": "Form", "type": "text", "value": "Memo" },
    { "name": "Subject", "type": "text", "value": "Report" } ] },
  { "class": "document", "noteId": 8, "created": "2010-03-05T14:07:09", "items": [
    { "name": "Form", "type": "text", "value": "Memo" },
    { "name": "Subject", "type": "text", "value": "Report" } ] },
  { "class": "document", "noteId": 12, "created": "2010-03-05T14:07:09", "items": [
    { "name": "Form", "type": "text", "value": "Memo" },
    { "name": "Subject", "type": "text", "value": "Report" } ] },
  { "class": "folder", "noteId": 100, "name": "($Inbox)", "entries": [4, 8, 12] } ] })J";

struct Outcome {
  int nExit = -1;
  std::string out;
  std::string err;
  std::vector<std::string> OutLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

class CliEndToEnd : public testsupport::TempDirTest {
protected:
  Outcome Run(const std::vector<std::string>& args) {
    std::string command = ShellQuote(testsupport::ToolPath("tarnwick-cli").string());
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    const fs::path out = m_tmp / "stdout.txt";
    const fs::path err = m_tmp / "stderr.txt";
    command += " < /dev/null > " + ShellQuote(out.string()) + " 2> " + ShellQuote(err.string());
    const int status = std::system(command.c_str());
    Outcome outcome;
    outcome.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = testsupport::ReadFile(out);
    outcome.err = testsupport::ReadFile(err);
    return outcome;
  }

  std::string Db(const std::string& name, const std::string& json = kThreeMemos) {
    const fs::path path = m_tmp / name;
    nsftool::ImportJson(json, path);
    return path.string();
  }

  std::vector<fs::path> DesktopLogs() {
    std::vector<fs::path> logs;
    const fs::path desktop = m_tmp / "home/Desktop";
    if (!fs::exists(desktop)) return logs;
    for (const auto& entry : fs::directory_iterator(desktop))
      if (entry.path().extension() == ".txt") logs.push_back(entry.path());  // not the undo journals
    return logs;
  }
};

std::string Utf16Text(const std::string& bytes) {
  std::string text;  // the ASCII of a UTF-16LE file, enough for these checks
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(bytes[i]);
  return text;
}

TEST_F(CliEndToEnd, UsageErrorsExitTwoWithOneLine) {
  const std::string db = Db("mail.nsf");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--frobnicate", "--action", "delete", db},
           {"--action", "move", db},
           {"--action", "delete", "--new-files", m_tmp.Path().string(), db},
           {"--action", "delete"},
           {db}}) {
    const Outcome outcome = Run(args);
    EXPECT_EQ(outcome.nExit, 2) << args.front();
    EXPECT_TRUE(outcome.out.empty());
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
  }
  EXPECT_NE(Run({"--frobnicate", db}).err.find("--frobnicate"), std::string::npos);
  EXPECT_NE(Run({"--action", "copy", db}).err.find("--folder"), std::string::npos);
  EXPECT_TRUE(DesktopLogs().empty());
}

TEST_F(CliEndToEnd, SingleDatabaseThatDoesNotOpenExitsOneWithoutLog) {
  const std::string missing = (m_tmp / "missing.nsf").string();
  const Outcome outcome = Run({"--new-files", m_tmp.Path().string(), missing});
  EXPECT_EQ(outcome.nExit, 1);
  EXPECT_EQ(outcome.err, "Database cannot be Opened: " + missing + "\n");
  EXPECT_TRUE(DesktopLogs().empty());
}

TEST_F(CliEndToEnd, NewFileRunPrintsSummaryRowsAndLogPath) {
  const std::string db = Db("mail.nsf");
  const std::string before = testsupport::ReadFile(db);
  // A missing folder of clean copies is made, with its parents.
  const Outcome outcome = Run({"--new-files", (m_tmp / "clean/deep").string(), db});
  ASSERT_EQ(outcome.nExit, 0) << outcome.err;
  const auto lines = outcome.OutLines();
  ASSERT_EQ(lines.size(), 13u) << outcome.out;
  EXPECT_EQ(lines[0], "Selection Summary of Process:");
  EXPECT_EQ(lines[1], "Selected Nsf File: " + db);
  EXPECT_EQ(lines[6], "Select Start Process button to continue the duplicate remover process ");
  EXPECT_EQ(lines[7].rfind("Creating Database " + (m_tmp / "clean/deep/mail.nsf").string(), 0), 0u);
  EXPECT_EQ(fs::status(m_tmp / "clean/deep").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(lines[10], "Processing Folder :\t($Inbox)");
  EXPECT_EQ(lines[11], "Total Items Found: 3 , Items Save: 1 , Duplicate Items: 2 , Items not save: 0");
  const auto logs = DesktopLogs();
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(lines[12], "Log file path: " + logs[0].string());
  EXPECT_EQ(testsupport::ReadFile(db), before);
  const std::string log = Utf16Text(testsupport::ReadFile(logs[0]));
  EXPECT_NE(log.find("Selected Nsf File: " + db + "\r\n"), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 22), "Work Completed!!!!\r\n\r\n");
}

TEST_F(CliEndToEnd, OriginalFilesNeedYesWithoutATerminal) {
  const std::string db = Db("mail.nsf");
  const std::string before = testsupport::ReadFile(db);
  const Outcome refused = Run({"--action", "delete", db});
  EXPECT_EQ(refused.nExit, 1);
  EXPECT_NE(refused.err.find("--yes"), std::string::npos);
  EXPECT_EQ(testsupport::ReadFile(db), before);

  const Outcome done = Run({"--action", "delete", "--yes", "--quiet", "--log-dir",
                            (m_tmp / "logs").string(), db});
  EXPECT_EQ(done.nExit, 0) << done.err;
  const auto lines = done.OutLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("Log file path: " + (m_tmp / "logs/Tarnwick_log_").string(), 0), 0u);
  EXPECT_EQ(lines[1], "Journal file path: " + lines[0].substr(15, lines[0].size() - 19) + ".journal");
  EXPECT_NE(testsupport::ReadFile(db), before);
}

// Alone, --dry-run judges as --action delete --dry-run would; every duplicate
// is printed as the log holds it, except with --quiet.
TEST_F(CliEndToEnd, DryRunChangesNothingAndPrintsEachDuplicate) {
  const std::string db = Db("mail.nsf");
  const std::string before = testsupport::ReadFile(db);
  const std::vector<std::string> runs[] = {
      {"--dry-run", "--action", "move", "--folder", "Dups", db}, {"--dry-run", db}, {"--dry-run", "--quiet", db}};
  for (std::vector<std::string> args : runs) {
    const fs::path logDir = m_tmp / ("logs" + std::to_string(args.size()));
    args.insert(args.begin(), {"--log-dir", logDir.string()});
    const Outcome outcome = Run(args);
    ASSERT_EQ(outcome.nExit, 0) << outcome.err;
    EXPECT_EQ(testsupport::ReadFile(db), before);
    const bool bQuiet = std::find(args.begin(), args.end(), "--quiet") != args.end();
    EXPECT_EQ(outcome.out.find("Duplicate Items: 2") != std::string::npos, !bQuiet) << outcome.out;
    for (const char* row : {"Duplicate Item ID:\t8 duplicate of 4\n", "Duplicate Item ID:\t12 duplicate of 4\n"})
      EXPECT_EQ(outcome.out.find(row) != std::string::npos, !bQuiet) << outcome.out;
    ASSERT_EQ(std::distance(fs::directory_iterator(logDir), fs::directory_iterator()), 1);
    const std::string log = Utf16Text(testsupport::ReadFile(fs::directory_iterator(logDir)->path()));
    EXPECT_NE(log.find("Duplicate Item ID:\t8 duplicate of 4\r\n"), std::string::npos);
    EXPECT_NE(log.find("Duplicate Item ID:\t12 duplicate of 4\r\n"), std::string::npos);
  }
}

TEST_F(CliEndToEnd, SearchMakesAMultipleFileRun) {
  fs::create_directories(m_tmp / "mail/sub");
  const std::string a = Db("mail/a.nsf");
  const std::string b = Db("mail/sub/B.NSF");
  const Outcome outcome = Run({"--search", (m_tmp / "mail").string(), "--action", "trash", "--yes",
                               "--scope", "file"});
  ASSERT_EQ(outcome.nExit, 0) << outcome.err;
  const auto lines = outcome.OutLines();
  EXPECT_EQ(lines[1], "Total Number of Selected NSF Files:  2");
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "Total Items Found: 3 , Items Save: 1 , Duplicate Items: 2 , Items not save: 0"),
            2);
}

// Damage as a failing disk gives it: every read of one folder's entries, or
// of one document's items, fails with an SQLite error.
void BreakReads(const std::string& db, const std::string& table, const std::string& columns,
                const std::string& failing) {
  const std::string last = columns.substr(columns.rfind(", ") + 2);
  const std::string sql = "ALTER TABLE " + table + " RENAME TO kept; CREATE VIEW " + table + " AS SELECT " +
                          columns.substr(0, columns.rfind(", ")) + ", CASE WHEN " + failing +
                          " THEN abs(-9223372036854775808) ELSE " + last + " END AS " + last + " FROM kept";
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
  sqlite3_close(raw);
}

TEST_F(CliEndToEnd, ARunThatCouldNotReadEverythingSaysSoAndFails) {
  std::string json = kThreeMemos;
  json.insert(json.rfind("] }"), R"J(, { "class": "folder", "noteId": 104, "name": "Projects", "entries": [4] })J");
  const std::string listing = Db("listing.nsf", json);
  BreakReads(listing, "entries", "design, pos, note", "design = 104");
  const std::string pass = Db("pass.nsf", json);
  BreakReads(pass, "items", "note, seq, name, type, value", "note = 8");
  const std::string error = " (Cannot read or write the database ";
  const std::pair<std::string, std::string> cases[] = {
      {listing, "Folder list incomplete: " + listing + error + listing + ": integer overflow)"},
      {pass, "Folder not fully processed: ($Inbox)" + error + pass + ": integer overflow; documents not read: 1)"}};
  for (const auto& [db, row] : cases) {
    const std::string before = testsupport::ReadFile(db);
    const Outcome outcome = Run({"--dry-run", "--action", "delete", "--log-dir", db + "-logs", db});
    EXPECT_EQ(outcome.nExit, 1) << outcome.out;
    EXPECT_NE(outcome.out.find("\n" + row + "\n"), std::string::npos) << outcome.out;
    const fs::path log = fs::directory_iterator(db + "-logs")->path();
    EXPECT_NE(Utf16Text(testsupport::ReadFile(log)).find("\n" + row + "\r\n"), std::string::npos);
    EXPECT_EQ(testsupport::ReadFile(db), before);
  }
  // A database of a multiple-file run that does not open fails the run too.
  const Outcome multiple = Run({"--dry-run", "--action", "delete", Db("good.nsf"), (m_tmp / "missing.nsf").string()});
  EXPECT_EQ(multiple.nExit, 1) << multiple.out;
  EXPECT_NE(multiple.out.find("Database Cannot be Open: " + (m_tmp / "missing.nsf").string()), std::string::npos);
}

TEST_F(CliEndToEnd, QuietPrintsOnlyClosingLinesAndFailureRowsOnStandardError) {
  const std::string db = Db("mail.nsf");
  testsupport::WriteFile(m_tmp / "blocker", "a file, not a folder");
  const std::string missing = (m_tmp / "blocker/folder").string();
  const Outcome notCreated = Run({"--quiet", "--new-files", missing, db});
  EXPECT_EQ(notCreated.nExit, 1);
  ASSERT_EQ(DesktopLogs().size(), 1u);
  EXPECT_EQ(notCreated.out, "Log file path: " + DesktopLogs()[0].string() + "\n");
  EXPECT_EQ(notCreated.err.rfind("Database not created: " + missing + "/mail.nsf", 0), 0u) << notCreated.err;
  EXPECT_EQ(std::count(notCreated.err.begin(), notCreated.err.end(), '\n'), 1) << notCreated.err;

  // A log folder that cannot be made: no log file, so no line names one, and
  // no run.
  testsupport::WriteFile(m_tmp / "plain", "a file, not a folder");
  const std::string logDir = (m_tmp / "plain/logs").string();
  const Outcome noLog = Run({"--quiet", "--dry-run", "--action", "delete", "--log-dir", logDir, db});
  EXPECT_EQ(noLog.nExit, 1) << noLog.err;  // a run without its log does not start
  EXPECT_EQ(noLog.out, "");
  EXPECT_EQ(noLog.err.rfind("Log file could not be created: " + logDir + "/Tarnwick_log_", 0), 0u) << noLog.err;

  // Mail sources' failure rows, also when the one source given is refused.
  const std::string entry = "From a Fri Mar  5 14:07:09 2010\nSubject: a\n\none\n\n";
  const std::string locked = (m_tmp / "locked").string(), cut = (m_tmp / "cut").string();
  testsupport::WriteFile(locked, entry + entry);
  testsupport::WriteFile(locked + ".lock", "");
  testsupport::WriteFile(cut, entry + "From a Fri Mar  5 14:07:09 2010\nSubject: cut");
  setenv("XDG_CACHE_HOME", (m_tmp / "cache").c_str(), 1);
  const Outcome single = Run({"--quiet", "--action", "delete", "--yes", locked});
  EXPECT_EQ(single.out, "");
  EXPECT_EQ(single.err, "Source not written back: " + locked + " (locked by another program (" + locked +
                            ".lock))\nDatabase cannot be Opened: " + locked + "\n");
  const Outcome two = Run({"--quiet", "--dry-run", "--action", "delete", "--log-dir", (m_tmp / "logs").string(), db, cut});
  EXPECT_EQ(two.nExit, 1);
  EXPECT_EQ(two.err, "Source not read: " + cut + " (truncated: message 2 ends inside a line)\n");
  unsetenv("XDG_CACHE_HOME");
}

TEST_F(CliEndToEnd, InterruptActsAsStop) {
  const std::string a = Db("a.nsf");
  const std::string b = Db("b.nsf");
  const std::string bBefore = testsupport::ReadFile(b);
  // Another writer holds a.nsf, so the run waits there while it makes its
  // sub folder: time enough to press Stop.
  LNNotesSession session;
  session.Initialize();
  LNDatabase blocker;
  ASSERT_EQ(session.GetDatabase(LNString(a), &blocker), LNNOERROR);
  blocker.Open();
  blocker.BeginTransaction();

  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const std::string tool = testsupport::ToolPath("tarnwick-cli").string();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, STDIN_FILENO);
    dup2(devnull, STDERR_FILENO);
    close(out[0]);
    execl(tool.c_str(), tool.c_str(), "--action", "move", "--folder", "Dups", "--yes", a.c_str(),
          b.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* reader = fdopen(out[0], "r");
  std::string printed;
  char line[4096];
  bool bInterrupted = false;
  while (fgets(line, sizeof line, reader)) {
    printed += line;
    if (!bInterrupted && std::string(line) == "Processing Folders\n") {
      kill(pid, SIGINT);
      bInterrupted = true;
    }
  }
  fclose(reader);
  int status = 0;
  waitpid(pid, &status, 0);
  blocker.RollbackTransaction();
  blocker.Close();

  ASSERT_TRUE(bInterrupted) << printed;
  ASSERT_TRUE(WIFEXITED(status)) << printed;
  // The sub folder could not be made while the other writer held a.nsf:
  // that failure was met, named on a row, and the stop does not hide it.
  EXPECT_NE(printed.find("database is locked"), std::string::npos) << printed;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(printed.find("Opening Database " + b), std::string::npos) << printed;
  EXPECT_EQ(testsupport::ReadFile(b), bBefore);
  const auto logs = DesktopLogs();
  ASSERT_EQ(logs.size(), 1u);
  const std::string log = Utf16Text(testsupport::ReadFile(logs[0]));
  EXPECT_EQ(log.substr(log.size() - 22), "Work Completed!!!!\r\n\r\n");
}

TEST_F(CliEndToEnd, ReportThenSpareDisposesOnlyOfWhatTheReportStillLists) {
  const std::string db = Db("mail.nsf");
  const std::string report = (m_tmp / "report.json").string();
  const Outcome dry = Run({"--dry-run", "--action", "delete", "--report", report, db});
  ASSERT_EQ(dry.nExit, 0) << dry.err;
  auto j = nlohmann::json::parse(testsupport::ReadFile(report));
  ASSERT_EQ(j["databases"][0]["path"], db);
  auto& group = j["databases"][0]["groups"][0];
  ASSERT_EQ(group["kept"], 4);
  ASSERT_EQ(group["duplicates"], nlohmann::json::parse("[8, 12]"));
  group["duplicates"] = nlohmann::json::parse("[12]");
  testsupport::WriteFile(report, j.dump());

  const Outcome spared = Run({"--action", "delete", "--yes", "--spare", report, db});
  ASSERT_EQ(spared.nExit, 0) << spared.err;
  const auto lines = spared.OutLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Item spared:\t8"), 1) << spared.out;
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "Total Items Found: 3 , Items Save: 2 , Duplicate Items: 1 , Items not save: 0"),
            1);
  std::set<int> ids;
  const auto dump = nlohmann::json::parse(nsftool::DumpJson(db));
  for (const auto& note : dump["notes"])
    if (note["class"] == "document") ids.insert(note["noteId"].get<int>());
  EXPECT_EQ(ids, (std::set<int>{4, 8}));
}

TEST_F(CliEndToEnd, BadSpareFileIsAUsageErrorAndChangesNothing) {
  const std::string db = Db("mail.nsf");
  const std::string before = testsupport::ReadFile(db);
  fs::create_directories(m_tmp / "folder.json");
  testsupport::WriteFile(m_tmp / "text.json", "Subject: not a report\n");
  testsupport::WriteFile(m_tmp / "nogroups.json",
                         R"({"format": "tarnwick-report", "version": 1, "databases": [{"path": "x"}]})");
  for (const char* name : {"missing.json", "folder.json", "text.json", "nogroups.json"}) {
    const std::string spare = (m_tmp / name).string();
    const Outcome outcome = Run({"--action", "delete", "--yes", "--spare", spare, db});
    EXPECT_EQ(outcome.nExit, 2) << name;
    EXPECT_TRUE(outcome.out.empty()) << name;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_NE(outcome.err.find(spare), std::string::npos) << outcome.err;
  }
  EXPECT_EQ(testsupport::ReadFile(db), before);
  EXPECT_TRUE(DesktopLogs().empty());
}

}  // namespace
