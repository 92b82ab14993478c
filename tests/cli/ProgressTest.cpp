// The progress line on a terminal, and the version the tools print.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "engine/Run.h"
#include "engine/RunProgress.h"
#include "engine/RunSettings.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/CliPage.h"
#include "tools/cli/ProgressLine.h"
#include "tools/nsftool/NsfJson.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kThreeMemos = R"J({ "format": "nsf-json", "version": 1, "notes": [
  { "class": "document", "noteId": 4, "items": [ { "name": "Form", "type": "text", "value": "Memo" } ] },
  { "class": "document", "noteId": 8, "items": [ { "name": "Form", "type": "text", "value": "Memo" } ] },
  { "class": "document", "noteId": 12, "items": [ { "name": "Form", "type": "text", "value": "Memo" } ] },
  { "class": "folder", "noteId": 100, "name": "($Inbox)", "entries": [4, 8, 12] },
  { "class": "view", "noteId": 104, "name": "($All)", "select": "all" } ] })J";

TEST(ProgressLine, FormatShowsDatabaseCountsRateAndTimeLeft) {
  const std::string kLong = "/home/ada/very/long/path/mail.nsf";
  const struct {
    cli::ProgressState state;
    int nColumns;
    std::string expected;
  } cases[] = {
      {{"/m/a.nsf", 1, 1, 0, 3, 0.0}, 80, "/m/a.nsf: 0 of 3 documents"},
      {{"/m/a.nsf", 2, 5, 1000, 5000, 2.0}, 80, "[2/5] /m/a.nsf: 1000 of 5000 documents, 500 per second, 0:08 left"},
      {{"/m/a.nsf", 1, 1, 10, 3730, 10.0}, 80, "/m/a.nsf: 10 of 3730 documents, 1 per second, 1:02:00 left"},
      // Too narrow: the path loses its start, never the counts.
      {{kLong, 1, 1, 0, 3, 0.0}, 40, "...long/path/mail.nsf: 0 of 3 documents"},
  };
  for (const auto& c : cases) EXPECT_EQ(cli::FormatProgress(c.state, c.nColumns), c.expected);
}

TEST(ProgressLine, RedrawsAtMostTenTimesASecondAndErasesItself) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* err = open_memstream(&buffer, &size);
  ASSERT_NE(err, nullptr);
  cli::ProgressLine::Clock::time_point now{};
  {
    cli::ProgressLine line(err, [&] { return now; }, [] { return 200; });
    line.DatabaseStarted(u"/m/a.nsf", 200);
    for (int i = 0; i < 200; ++i) {  // two seconds, a document every 10 ms
      now += 10ms;
      line.DocumentJudged();
    }
    line.Clear();
  }
  std::fclose(err);
  const std::string text(buffer, size);
  std::free(buffer);
  std::size_t nDraws = 0;
  for (std::size_t at = text.find("documents"); at != std::string::npos; at = text.find("documents", at + 1))
    ++nDraws;
  EXPECT_EQ(nDraws, 21u);  // at the start, then once every 100 ms
  const std::string last = "\r\x1b[K/m/a.nsf: 200 of 200 documents, 100 per second, 0:00 left\r\x1b[K";
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

struct RecordingProgress : RunProgress {
  std::vector<std::pair<std::u16string, std::uint64_t>> started;
  std::uint64_t nJudged = 0;
  void DatabaseStarted(const std::u16string& strPath, std::uint64_t nTotal) override {
    started.emplace_back(strPath, nTotal);
  }
  void DocumentJudged() override { ++nJudged; }
};

// The total counts the documents the passes walk, each once however many
// folders file it; "($All)" only when it is included.
TEST(RunProgress, CountsDocumentsNotFolderEntries) {
  const std::string kFiledTwice = R"J({ "format": "nsf-json", "version": 1, "notes": [
    { "class": "document", "noteId": 4, "items": [ { "name": "Form", "type": "text", "value": "Memo" } ] },
    { "class": "document", "noteId": 8, "items": [ { "name": "Form", "type": "text", "value": "Memo" } ] },
    { "class": "document", "noteId": 12, "items": [ { "name": "Form", "type": "text", "value": "Memo" } ] },
    { "class": "document", "noteId": 16, "items": [ { "name": "Form", "type": "text", "value": "Memo" } ] },
    { "class": "folder", "noteId": 100, "name": "($Inbox)", "entries": [4, 8, 12] },
    { "class": "folder", "noteId": 108, "name": "Projects", "entries": [8, 4] },
    { "class": "view", "noteId": 104, "name": "($All)", "select": "all" } ] })J";
  for (const bool bAllView : {false, true}) {
    testsupport::ScopedTempDir tmp;
    const std::string db = (tmp / "mail.nsf").string();
    nsftool::ImportJson(kFiledTwice, db);
    std::vector<std::string> args{"tarnwick-cli", "--new-files", tmp.Path().string(), db};
    if (bAllView) args.push_back("--include-all-view");
    RunSettings settings;
    ASSERT_FALSE(cli::ParseCommandLine(args, settings, {}).usageError);
    ASSERT_TRUE(SelectEveryFolder(settings));
    std::FILE* rows = std::fopen("/dev/null", "w");
    cli::CliPage page(rows, true);
    RecordingProgress progress;
    RunOptions options;
    options.strLogPath = StartRun(settings, page, platform::FromUtf8(tmp.Path().string()));
    options.pProgress = &progress;
    RunWorker(settings, page, options);
    std::fclose(rows);
    const std::uint64_t nExpected = bAllView ? 4 : 3;
    ASSERT_EQ(progress.started.size(), 1u);
    EXPECT_EQ(progress.started[0], std::make_pair(platform::FromUtf8(db), nExpected));
    EXPECT_EQ(progress.nJudged, nExpected);
  }
}

struct TerminalRun {
  int nExit = -1;
  std::string out;  // standard output, a file
  std::string err;  // what the terminal on standard error showed
};

// Runs tarnwick-cli with standard error on a pseudo-terminal, as a person
// at a terminal who redirected standard output would.
TerminalRun RunOnTerminal(const fs::path& dir, const std::vector<std::string>& args) {
  TerminalRun run;
  int master = -1, slave = -1;
  winsize size{};
  size.ws_col = 250;
  size.ws_row = 24;
  if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return run;
  const std::string tool = testsupport::ToolPath("tarnwick-cli").string();
  const fs::path outPath = dir / "stdout.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    close(master);
    dup2(slave, STDERR_FILENO);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, STDOUT_FILENO);
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, STDIN_FILENO);
    std::vector<char*> argv{const_cast<char*>(tool.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  close(slave);
  char chunk[4096];
  for (;;) {  // read until the child's side closes (EIO)
    const ssize_t n = read(master, chunk, sizeof chunk);
    if (n > 0) run.err.append(chunk, static_cast<std::size_t>(n));
    else if (n < 0 && errno == EINTR) continue;
    else break;
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  run.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = testsupport::ReadFile(outPath);
  return run;
}

class ProgressOnTerminal : public testsupport::TempDirTest {
protected:
  std::string Db(const std::string& name) {
    nsftool::ImportJson(kThreeMemos, m_tmp / name);
    return (m_tmp / name).string();
  }
};

TEST_F(ProgressOnTerminal, ShownOnATerminalAndErasedNeverWithQuiet) {
  const std::string a = Db("a.nsf"), b = Db("b.nsf");
  const std::string clean = (m_tmp / "clean").string();
  fs::create_directories(clean);
  const TerminalRun shown = RunOnTerminal(m_tmp.Path(), {"--new-files", clean, "--log-dir", clean, a, b});
  ASSERT_EQ(shown.nExit, 0) << shown.err;
  EXPECT_NE(shown.err.find("[1/2] " + a + ": 0 of 3 documents"), std::string::npos) << shown.err;
  EXPECT_EQ(shown.err.substr(shown.err.size() - 4), "\r\x1b[K");  // nothing left on the screen
  EXPECT_EQ(shown.out.find('\x1b'), std::string::npos);              // the rows stay plain
  EXPECT_NE(shown.out.find("Log file path: "), std::string::npos);

  const TerminalRun quiet = RunOnTerminal(m_tmp.Path(), {"--quiet", "--new-files", clean, "--log-dir", clean, a});
  ASSERT_EQ(quiet.nExit, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "");
}

TEST(ToolVersion, BothToolsPrintTheProjectVersion) {
  const struct {
    std::string tool, args, expected;
  } cases[] = {
      {"tarnwick-cli", "--version", std::string("tarnwick-cli ") + TARNWICK_PROJECT_VERSION + "\n"},
      {"nsftool", "--version", std::string("nsftool ") + TARNWICK_PROJECT_VERSION + "\n"},
  };
  for (const auto& c : cases) {
    const std::string command = testsupport::ToolPath(c.tool).string() + " " + c.args;
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char chunk[256];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    EXPECT_EQ(out, c.expected);
  }
}

}  // namespace
