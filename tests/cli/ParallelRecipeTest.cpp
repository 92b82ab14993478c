// The README's recipe for many databases: scripts/clean-many.sh runs one
// tarnwick-cli per database under GNU parallel, a log folder per job, and
// reports the jobs that failed through its exit status and job log.
#include <sys/wait.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using testsupport::ShellQuote;

namespace fs = std::filesystem;

int Shell(const std::string& command) {
  const int status = std::system((command + " </dev/null >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The job log's rows: each job's command line and exit value.
std::vector<std::pair<std::string, int>> JobExits(const fs::path& joblog) {
  std::vector<std::pair<std::string, int>> exits;
  std::istringstream rows(testsupport::ReadFile(joblog));
  std::string row;
  std::getline(rows, row);  // the heading
  while (std::getline(rows, row)) {
    std::vector<std::string> cells;
    std::istringstream split(row);
    for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
    if (cells.size() >= 9) exits.emplace_back(cells[8], std::stoi(cells[6]));
  }
  return exits;
}

// The exit value of the one job whose command names the database, -1 if
// none or several do (parallel quotes the path, its last part stays).
int ExitOf(const std::vector<std::pair<std::string, int>>& exits, const std::string& database) {
  int found = -1, n = 0;
  for (const auto& [command, exit] : exits) {
    if (command.find(database) == std::string::npos) continue;
    found = exit;
    ++n;
  }
  return n == 1 ? found : -1;
}

// Run with and without parallel options, over a source folder whose name
// holds " -- " (one argument, not the options' end); a job killed by a
// signal is a failure in the job log too.
TEST(ParallelRecipe, EveryDatabaseGetsItsOwnLogAndFailuresAreCounted) {
  if (Shell("command -v parallel") != 0) GTEST_SKIP() << "GNU parallel is not installed";
  testsupport::ScopedTempDir tmp;
  const fs::path src = tmp / "src -- old";
  for (const char* sub : {"a", "b", "c"}) {
    fs::create_directories(src / sub);
    ASSERT_EQ(Shell(ShellQuote(testsupport::ToolPath("nsftool").string()) + " sample " +
                    ShellQuote((src / sub / "mail.nsf").string()) + " --docs 40 --seed 5"),
              0);
  }
  testsupport::WriteFile(src / "broken.NSF", "not a database");
  testsupport::WriteFile(src / "killed.nsf", "its job dies of SIGKILL");
  const fs::path cli = tmp / "cli.sh";
  testsupport::WriteFile(cli, "#!/bin/sh\ncase \"$*\" in *killed.nsf) kill -KILL $$;; esac\nexec " +
                                  ShellQuote(testsupport::ToolPath("tarnwick-cli").string()) + " \"$@\"\n");
  fs::permissions(cli, fs::perms::owner_all);
  const std::string script = std::string(TARNWICK_SOURCE_DIR) + "/scripts/clean-many.sh";
  for (const std::string parallelOptions : {"-j2 -- ", ""}) {
    const fs::path out = tmp / ("out" + std::to_string(parallelOptions.size()));
    const int exit = Shell("TARNWICK_CLI=" + ShellQuote(cli.string()) + " " + ShellQuote(script) + " " +
                           parallelOptions + ShellQuote(src.string()) + " " + ShellQuote(out.string()));
    EXPECT_EQ(exit, 2) << parallelOptions;  // the file that is not a database, and the killed job

    const auto exits = JobExits(out / "joblog.tsv");
    ASSERT_EQ(exits.size(), 5u);
    EXPECT_EQ(ExitOf(exits, "broken.NSF"), 1);
    EXPECT_EQ(ExitOf(exits, "killed.nsf"), 128 + SIGKILL);
    int nLogs = 0;
    for (const auto& job : fs::directory_iterator(out / "logs"))
      for (const auto& log : fs::directory_iterator(job.path())) {
        ++nLogs;
        const std::string bytes = testsupport::ReadFile(log.path());
        EXPECT_NE(bytes.find(std::string("W\0o\0r\0k\0 \0C\0o\0m\0p\0l\0e\0t\0e\0d\0", 28)), std::string::npos)
            << log.path();
      }
    EXPECT_EQ(nLogs, 3);
    int nCopies = 0;
    for (const auto& copy : fs::recursive_directory_iterator(out / "clean")) nCopies += copy.is_regular_file();
    EXPECT_EQ(nCopies, 3);  // three databases of one file name, none lost
    for (const char* sub : {"a/mail.nsf", "b/mail.nsf", "c/mail.nsf"}) EXPECT_EQ(ExitOf(exits, sub), 0) << sub;
  }
}

}  // namespace
