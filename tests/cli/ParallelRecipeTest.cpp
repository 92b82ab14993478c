// The README's recipe for many databases: scripts/clean-many.sh runs one
// tarnwick-cli per database under GNU parallel, a log folder per job, and
// reports the jobs that failed through its exit status and job log.
#include <sys/wait.h>

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

// The job log's rows: exit value by the database each job cleaned.
std::map<std::string, int> JobExits(const fs::path& joblog) {
  std::map<std::string, int> exits;
  std::istringstream rows(testsupport::ReadFile(joblog));
  std::string row;
  std::getline(rows, row);  // the heading
  while (std::getline(rows, row)) {
    std::vector<std::string> cells;
    std::istringstream split(row);
    for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
    if (cells.size() < 9) continue;
    exits[cells[8].substr(cells[8].rfind(' ') + 1)] = std::stoi(cells[6]);
  }
  return exits;
}

TEST(ParallelRecipe, EveryDatabaseGetsItsOwnLogAndFailuresAreCounted) {
  if (Shell("command -v parallel") != 0) GTEST_SKIP() << "GNU parallel is not installed";
  testsupport::ScopedTempDir tmp;
  const fs::path src = tmp / "src";
  for (const char* sub : {"a", "b", "c"}) {
    fs::create_directories(src / sub);
    ASSERT_EQ(Shell(ShellQuote(testsupport::ToolPath("nsftool").string()) + " sample " +
                    ShellQuote((src / sub / "mail.nsf").string()) + " --docs 40 --seed 5"),
              0);
  }
  testsupport::WriteFile(src / "broken.NSF", "not a database");
  const fs::path out = tmp / "out";
  const std::string script = std::string(TARNWICK_SOURCE_DIR) + "/scripts/clean-many.sh";
  const int exit = Shell("TARNWICK_CLI=" + ShellQuote(testsupport::ToolPath("tarnwick-cli").string()) + " " +
                         ShellQuote(script) + " -j2 -- " + ShellQuote(src.string()) + " " + ShellQuote(out.string()));
  EXPECT_EQ(exit, 1);  // the one file that is not a database

  const auto exits = JobExits(out / "joblog.tsv");
  ASSERT_EQ(exits.size(), 4u);
  EXPECT_EQ(exits.at((src / "broken.NSF").string()), 1);
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
  for (const char* sub : {"a", "b", "c"}) EXPECT_EQ(exits.at((src / sub / "mail.nsf").string()), 0) << sub;
}

}  // namespace
