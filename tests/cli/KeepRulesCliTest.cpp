// tarnwick-cli choosing which copy stays: every rule through every action
// and its undo, on a database and on an mbox; the summary rows; --spare
// moving the kept copy; bad values.
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lnapi/LNNotes.h"
#include "tests/support/MailFiles.h"
#include "tests/support/NsfJson.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ShellQuote;

// Three copies of one memo (by subject): 4 the oldest, of middle size; 8 the
// newest and smallest; 12 the largest, also filed in "Keep". 16 stands alone.
const std::string kCopies = R"J({ "format": "nsf-json", "version": 1, "notes": [
  { "class": "document", "noteId": 4, "created": "2010-01-01T10:00:00", "items": [
    { "name": "Form", "type": "text", "value": "Memo" },
    { "name": "PostedDate", "type": "time", "value": "2010-01-01T10:00:00" },
    { "name": "Subject", "type": "text", "value": "Report" },
    { "name": "Body", "type": "text", "value": "middle sized body" } ] },
  { "class": "document", "noteId": 8, "created": "2010-01-01T10:00:00", "items": [
    { "name": "Form", "type": "text", "value": "Memo" },
    { "name": "PostedDate", "type": "time", "value": "2012-01-01T10:00:00" },
    { "name": "Subject", "type": "text", "value": "Report" },
    { "name": "Body", "type": "text", "value": "small" } ] },
  { "class": "document", "noteId": 12, "created": "2010-01-01T10:00:00", "items": [
    { "name": "Form", "type": "text", "value": "Memo" },
    { "name": "PostedDate", "type": "time", "value": "2011-01-01T10:00:00" },
    { "name": "Subject", "type": "text", "value": "Report" },
    { "name": "Body", "type": "text", "value": "largest body of them" } ] },
  { "class": "document", "noteId": 16, "created": "2010-01-01T10:00:00", "items": [
    { "name": "Form", "type": "text", "value": "Memo" },
    { "name": "Subject", "type": "text", "value": "Other" } ] },
  { "class": "folder", "noteId": 100, "name": "($Inbox)", "entries": [4, 8, 12, 16] },
  { "class": "folder", "noteId": 104, "name": "Keep", "entries": [12] },
  { "class": "folder", "noteId": 108, "name": "Dups", "entries": [] } ] })J";

struct Outcome {
  int nExit = -1;
  std::vector<std::string> lines;
  std::string err;
};

class KeepRulesCli : public testsupport::TempDirTest {
protected:
  Outcome Cli(std::vector<std::string> args) {
    // A log folder of each run's own: runs in one second would share a journal.
    args.insert(args.begin(), {"--log-dir", (m_tmp / ("logs" + std::to_string(++m_nRuns))).string()});
    std::string command = ShellQuote(testsupport::ToolPath("tarnwick-cli").string());
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    command += " </dev/null >" + ShellQuote((m_tmp / "out").string()) + " 2>" + ShellQuote((m_tmp / "err").string());
    const int status = std::system(command.c_str());
    Outcome o;
    o.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream out(testsupport::ReadFile(m_tmp / "out"));
    for (std::string line; std::getline(out, line);) o.lines.push_back(line);
    o.err = testsupport::ReadFile(m_tmp / "err");
    return o;
  }
  static std::string JournalOf(const Outcome& o) {
    const std::string prefix = "Journal file path: ";
    for (const std::string& line : o.lines)
      if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    return {};
  }
  nlohmann::json Report() { return nlohmann::json::parse(testsupport::ReadFile(m_tmp / "r.json")); }
  int m_nRuns = 0;
};

LNNoteLife LifeOf(const std::string& db, NOTEID id) {
  LNNotesSession session;
  session.Initialize();
  LNDatabase database;
  session.GetDatabase(LNString(db), &database, "");
  database.Open();
  const LNNoteLife life = database.GetNoteLife(id);
  database.Close();
  return life;
}

const std::vector<std::string> kActions[] = {
    {"--action", "delete"}, {"--action", "trash"}, {"--action", "move", "--folder", "Dups"},
    {"--action", "copy", "--folder", "Dups"}};

TEST_F(KeepRulesCli, EveryRuleThroughEveryActionOnADatabaseKeepsItsMemberAndUndoes) {
  const std::pair<std::string, NOTEID> rules[] = {
      {"newest", 8}, {"oldest", 4}, {"largest", 12}, {"smallest", 8},
      {"folder=Keep", 12}, {"not-folder=Keep,largest", 4}};
  for (const auto& [rule, kept] : rules) {
    for (const std::vector<std::string>& action : kActions) {
      SCOPED_TRACE(rule + " " + action[1]);
      const fs::path db = m_tmp / "mail.nsf";
      testsupport::MakeDatabase(db, kCopies);
      const std::string before = testsupport::DumpWithEntrySets(db);
      std::vector<std::string> args = {"--mail", "subject", "--keep", rule, "--yes", "--quiet",
                                       "--report", (m_tmp / "r.json").string()};
      args.insert(args.end(), action.begin(), action.end());
      args.push_back(db.string());
      const Outcome run = Cli(args);
      ASSERT_EQ(run.nExit, 0) << run.err;
      const nlohmann::json group = Report()["databases"][0]["groups"][0];
      EXPECT_EQ(group["kept"], kept);
      EXPECT_EQ(group["duplicates"].size(), 2u);
      for (NOTEID id : {4u, 8u, 12u}) {
        const bool bStays = id == kept || action[1] == "copy";
        EXPECT_EQ(LifeOf(db.string(), id) == LNNoteLife::live, bStays) << id;
      }
      const Outcome undo = Cli({"--undo", JournalOf(run), "--quiet"});
      EXPECT_EQ(undo.nExit, 0) << undo.err;
      EXPECT_EQ(testsupport::DumpWithEntrySets(db), before);
    }
  }
}

TEST_F(KeepRulesCli, EveryRuleThroughEveryActionOnAnMboxKeepsItsMessageAndUndoes) {
  const auto message = [](const std::string& date, const std::string& body, int id) {
    return "From: Ada <ada@example.org>\nTo: bob@example.org\nSubject: Report\nDate: " + date +
           "\nMessage-ID: <" + std::to_string(id) + "@example.org>\n\n" + body + "\n";
  };
  const std::vector<std::string> messages = {
      message("Fri, 1 Jan 2010 10:00:00 +0000", "middle sized body", 1),
      message("Sun, 1 Jan 2012 10:00:00 +0000", "small", 2),
      message("Sat, 1 Jan 2011 10:00:00 +0000", "the largest body of the three copies", 3)};
  const std::pair<std::string, std::size_t> rules[] = {{"newest", 1}, {"oldest", 0}, {"largest", 2}, {"smallest", 1}};
  for (const auto& [rule, kept] : rules) {
    for (const std::vector<std::string>& action : kActions) {
      SCOPED_TRACE(rule + " " + action[1]);
      const fs::path dir = m_tmp / "mail";
      fs::remove_all(dir);
      fs::create_directories(dir);
      const fs::path mbox = dir / "inbox";
      testsupport::MakeMbox(mbox, messages);
      const std::string before = testsupport::ReadFile(mbox);
      std::vector<std::string> args = {"--mail", "subject,sender,receiver", "--keep", rule, "--yes", "--quiet"};
      args.insert(args.end(), action.begin(), action.end());
      args.push_back(mbox.string());
      const Outcome run = Cli(args);
      ASSERT_EQ(run.nExit, 0) << run.err;
      const std::string after = testsupport::ReadFile(mbox);
      const std::string disposed = testsupport::ReadFile(dir / (action[1] == "trash" ? "Trash" : "Dups"));
      for (std::size_t i = 0; i < messages.size(); ++i) {
        const bool bKept = i == kept;
        EXPECT_EQ(after.find(messages[i]) != std::string::npos, bKept || action[1] == "copy") << i;
        if (action[1] != "delete") {
          EXPECT_EQ(disposed.find(messages[i]) != std::string::npos, !bKept) << i;
        }
      }
      const Outcome undo = Cli({"--undo", JournalOf(run), "--quiet"});
      EXPECT_EQ(undo.nExit, 0) << undo.err;
      EXPECT_EQ(testsupport::ReadFile(mbox), before);
    }
  }
}

TEST_F(KeepRulesCli, SummaryRowsReportAndGuardNameTheOptionsInForce) {
  const fs::path db = m_tmp / "mail.nsf";
  testsupport::MakeDatabase(db, kCopies);
  const Outcome run = Cli({"--mail", "subject", "--keep", "oldest", "--normalize", "spaces,subject",
                           "--size-guard", "20", "--action", "delete", "--dry-run", "--report",
                           (m_tmp / "r.json").string(), db.string()});
  ASSERT_EQ(run.nExit, 0) << run.err;
  const auto at = std::find(run.lines.begin(), run.lines.end(), "Copy kept: oldest,first");
  ASSERT_NE(at, run.lines.end());
  EXPECT_EQ(std::vector<std::string>(at - 1, at + 4),
            (std::vector<std::string>{"Action to remove Duplicate items:Delete Permanently",
                                      "Copy kept: oldest,first", "Compared loosely: subject,spaces",
                                      "Size guard: 20%",
                                      "Select Start Process button to continue the duplicate remover process "}));
  // Items of 35 (4, kept), 23 (8) and 38 bytes (12).
  EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), "Item not disposed:\t8 (sizes differ by 34%)"),
            run.lines.end());
  EXPECT_NE(std::find(run.lines.begin(), run.lines.end(),
                      "Total Items Found: 4 , Items Save: 3 , Duplicate Items: 1 , Items not save: 0"),
            run.lines.end());
  const nlohmann::json report = Report();
  EXPECT_EQ(report["keep"], "oldest,first");
  EXPECT_EQ(report["normalize"], nlohmann::json::parse(R"(["subject", "spaces"])"));
  EXPECT_EQ(report["size_guard"], 20);
  EXPECT_FALSE(report.contains("date_tolerance"));
  const nlohmann::json group = report["databases"][0]["groups"][0];
  EXPECT_EQ(group["kept"], 4);
  EXPECT_EQ(group["duplicates"], nlohmann::json::parse("[12]"));
  EXPECT_EQ(group["guarded"], nlohmann::json::parse("[8]"));
}

TEST_F(KeepRulesCli, WholeFileScopeCountsEachFolderByOutcomeWithTheSameTotals) {
  // Three copies; the one in "Keep" is judged last, in the second folder.
  const std::string json = R"J({ "format": "nsf-json", "version": 1, "notes": [
    { "class": "document", "noteId": 4, "items": [ { "name": "Subject", "type": "text", "value": "Report" } ] },
    { "class": "document", "noteId": 8, "items": [ { "name": "Subject", "type": "text", "value": "Report" } ] },
    { "class": "document", "noteId": 12, "items": [ { "name": "Subject", "type": "text", "value": "Report" } ] },
    { "class": "folder", "noteId": 100, "name": "($Inbox)", "entries": [4, 8] },
    { "class": "folder", "noteId": 104, "name": "Keep", "entries": [12] } ] })J";
  const fs::path db = m_tmp / "mail.nsf";
  testsupport::MakeDatabase(db, json);
  // The log file's lines of duplicates and folder totals, in order (the log
  // is UTF-16 little-endian; these lines are ASCII).
  const auto rowsOf = [](const Outcome& o) {
    std::vector<std::string> rows;
    const std::string prefix = "Log file path: ";
    for (const std::string& line : o.lines) {
      if (line.rfind(prefix, 0) != 0) continue;
      const std::string utf16 = testsupport::ReadFile(line.substr(prefix.size()));
      std::string text;
      for (std::size_t i = 2; i + 1 < utf16.size(); i += 2) text += utf16[i];
      std::istringstream in(text);
      for (std::string row; std::getline(in, row, '\n');) {
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (row.rfind("Total Items Found", 0) == 0 || row.rfind("Duplicate Item ID", 0) == 0) rows.push_back(row);
      }
    }
    return rows;
  };
  const std::vector<std::string> base = {"--mail", "subject", "--scope", "file", "--action", "delete", "--dry-run"};
  std::vector<std::string> first = base, ruled = base;
  first.push_back(db.string());
  ruled.insert(ruled.end(), {"--keep", "folder=Keep", db.string()});
  EXPECT_EQ(rowsOf(Cli(first)),
            (std::vector<std::string>{"Duplicate Item ID:\t8 duplicate of 4",
                                      "Total Items Found: 2 , Items Save: 1 , Duplicate Items: 1 , Items not save: 0",
                                      "Duplicate Item ID:\t12 duplicate of 4",
                                      "Total Items Found: 1 , Items Save: 0 , Duplicate Items: 1 , Items not save: 0"}));
  EXPECT_EQ(rowsOf(Cli(ruled)),
            (std::vector<std::string>{"Duplicate Item ID:\t4 duplicate of 12", "Duplicate Item ID:\t8 duplicate of 12",
                                      "Total Items Found: 2 , Items Save: 0 , Duplicate Items: 2 , Items not save: 0",
                                      "Total Items Found: 1 , Items Save: 1 , Duplicate Items: 0 , Items not save: 0"}));
}

TEST_F(KeepRulesCli, SpareFileThatNamesAnotherKeptMemberMakesItStay) {
  const fs::path db = m_tmp / "mail.nsf";
  testsupport::MakeDatabase(db, kCopies);
  const std::string reportPath = (m_tmp / "r.json").string();
  ASSERT_EQ(Cli({"--mail", "subject", "--action", "delete", "--dry-run", "--report", reportPath, db.string()}).nExit, 0);
  nlohmann::json report = Report();
  nlohmann::json& group = report["databases"][0]["groups"][0];
  ASSERT_EQ(group["kept"], 4);
  group["kept"] = 12;  // "keep this one"
  group["duplicates"] = nlohmann::json::parse("[4, 8]");
  testsupport::WriteFile(reportPath, report.dump());
  const Outcome run = Cli({"--mail", "subject", "--action", "delete", "--yes", "--quiet", "--spare", reportPath, db.string()});
  ASSERT_EQ(run.nExit, 0) << run.err;
  EXPECT_EQ(LifeOf(db.string(), 12), LNNoteLife::live);
  EXPECT_NE(LifeOf(db.string(), 4), LNNoteLife::live);
  EXPECT_NE(LifeOf(db.string(), 8), LNNoteLife::live);
}

TEST_F(KeepRulesCli, DateToleranceChainsTheSameMessagesInAnyOrder) {
  const auto message = [](const std::string& time, int id) {
    return "From: Ada <ada@example.org>\nTo: bob@example.org\nSubject: Re: Report\nDate: Mon, 4 Jan 2021 " + time +
           " +0000\nMessage-ID: <" + std::to_string(id) + "@example.org>\n\nsame body\n";
  };
  // 10:00:00 and 10:01:40 are 100 s apart, but each is within 60 s of 10:00:50.
  const std::vector<std::string> chained = {message("10:00:50", 2), message("10:01:40", 3), message("10:00:00", 1)};
  const std::string apart = message("10:03:00", 4);
  const std::vector<std::vector<std::string>> orders = {
      {chained[0], chained[1], apart, chained[2]}, {chained[2], apart, chained[1], chained[0]}};
  for (const std::vector<std::string>& order : orders) {
    const fs::path mbox = m_tmp / "inbox";
    testsupport::MakeMbox(mbox, order);
    const Outcome run = Cli({"--date-tolerance", "60", "--keep", "oldest", "--action", "delete", "--yes", "--quiet",
                             mbox.string()});
    ASSERT_EQ(run.nExit, 0) << run.err;
    const std::string after = testsupport::ReadFile(mbox);
    EXPECT_NE(after.find(chained[2]), std::string::npos);
    EXPECT_NE(after.find(apart), std::string::npos);
    EXPECT_EQ(after.find(chained[0]), std::string::npos);
    EXPECT_EQ(after.find(chained[1]), std::string::npos);
  }
}

TEST_F(KeepRulesCli, BadValuesAreUsageErrors) {
  const fs::path db = m_tmp / "mail.nsf";
  testsupport::MakeDatabase(db, kCopies);
  const std::vector<std::string> cases[] = {
      {"--keep", "latest"},          {"--keep", "folder="},       {"--normalize", "body"},
      {"--date-tolerance", "-1"},    {"--date-tolerance", "31536001"}, {"--date-tolerance", "1.5"},
      {"--size-guard", "100"},       {"--size-guard", ""},
      {"--date-tolerance", "60", "--mail", "subject"}};
  for (const std::vector<std::string>& bad : cases) {
    std::vector<std::string> args = bad;
    args.insert(args.end(), {"--action", "delete", "--dry-run", db.string()});
    const Outcome run = Cli(args);
    EXPECT_EQ(run.nExit, 2) << bad[0] << " " << bad[1];
    EXPECT_NE(run.err.find(bad[0]), std::string::npos) << run.err;
  }
}

}  // namespace
