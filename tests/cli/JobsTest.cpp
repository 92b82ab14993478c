// --jobs: databases judged side by side give what one at a time gives.
#include <sys/wait.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using testsupport::RunTool;

namespace fs = std::filesystem;

// Everything a run leaves, with its folder and the clock taken out: exit
// status, rows, log file (its ASCII), report, and the dump of each clean
// copy in the order the rows name them.
std::string RunOutcome(const fs::path& dir, const std::vector<std::string>& dbs, const std::string& jobs) {
  fs::create_directories(dir / "out");
  std::vector<std::string> args = {"--new-files", (dir / "out").string(), "--log-dir", (dir / "logs").string(),
                                   "--report", (dir / "report.json").string(), "--jobs", jobs};
  args.insert(args.end(), dbs.begin(), dbs.end());
  std::ostringstream text;
  text << "exit " << RunTool("tarnwick-cli", args, dir / "rows.txt", false) << "\n";
  const std::string rows = testsupport::ReadFile(dir / "rows.txt");
  text << rows << testsupport::ReadFile(dir / "report.json");
  for (const auto& entry : fs::directory_iterator(dir / "logs"))
    for (char c : testsupport::ReadFile(entry.path()))
      if (c != 0) text << c;
  std::istringstream lines(rows);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Creating Database ", 0) != 0) continue;
    const fs::path copy = line.substr(std::string("Creating Database ").size());
    text << "-- dump exit " << RunTool("nsftool", {"dump", copy.string()}, dir / "dump.json", false) << "\n"
         << testsupport::ReadFile(dir / "dump.json");
  }
  const std::string outcome = std::regex_replace(text.str(), std::regex(dir.string()), "<dir>");
  return std::regex_replace(outcome, std::regex(R"(\d{1,2}-\d{1,2}-\d{4}-\d{1,2}-\d{1,2}-\d{1,2}(-\d+(?=\.nsf))?)"),
                            "<stamp>");
}

TEST(Jobs, SideBySideGivesTheRowsLogReportAndCopiesOfOneAtATime) {
  testsupport::ScopedTempDir tmp;
  std::vector<std::string> dbs;
  for (const auto& [dir, seed] : {std::pair{"a", "3"}, {"b", "4"}, {"c", "5"}, {"d", "6"}}) {
    fs::create_directories(tmp / dir);
    dbs.push_back((tmp / dir / "mail.nsf").string());
    ASSERT_EQ(RunTool("nsftool", {"sample", dbs.back(), "--docs", "120", "--seed", seed}, tmp / "seed.txt", false), 0);
  }
  // A file that is no database, between the others.
  testsupport::WriteFile(tmp / "broken.nsf", "not a database");
  dbs.insert(dbs.begin() + 2, (tmp / "broken.nsf").string());
  const std::string one = RunOutcome(tmp / "one", dbs, "1");
  EXPECT_NE(one.find("exit 1\n"), std::string::npos);
  EXPECT_NE(one.find("Database Cannot be Open: "), std::string::npos);
  EXPECT_EQ(RunOutcome(tmp / "three", dbs, "3"), one);
}

}  // namespace
