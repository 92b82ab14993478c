#include <sys/wait.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/Text.h"
#include "tests/support/TestSupport.h"
#include "tools/cli/CliOptions.h"

namespace {

using cli::ParseCommandLine;
namespace fs = std::filesystem;

platform::SystemTime Wednesday17March2010() {
  platform::SystemTime now;
  now.nYear = 2010;
  now.nMonth = 3;
  now.nDay = 17;
  now.nHour = 14;
  now.nMinute = 5;
  return now;
}

class CliOptionsTest : public testsupport::TempDirTest {
protected:
  cli::ParseResult Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "tarnwick-cli");
    return ParseCommandLine(args, m_s, Wednesday17March2010());
  }
  std::string UsageError(std::vector<std::string> args) {
    const auto result = Parse(std::move(args));
    return result.usageError.value_or("");
  }
  RunSettings m_s;
};

TEST_F(CliOptionsTest, SingleDatabaseTakesTheWizardDefaults) {
  const auto result = Parse({"--new-files", "/out", "/m/a.nsf"});
  ASSERT_FALSE(result.usageError);
  EXPECT_EQ(m_s.m_bMultipleFiles, 0);
  EXPECT_EQ(m_s.m_strSingleFilePath, u"/m/a.nsf");
  EXPECT_EQ(m_s.m_bModifyOriginal, 0);
  EXPECT_EQ(m_s.m_strNewNsfFolder, u"/out");
  EXPECT_EQ(m_s.m_bSameFolderScope, 1);
  EXPECT_EQ(m_s.m_bExcludeAllFolder, 1);
  EXPECT_EQ(m_s.m_bDateFilter, 0);
  EXPECT_EQ(m_s.m_bMailCriteria, 1);
  EXPECT_EQ(m_s.m_bMailSubject + m_s.m_bMailSender + m_s.m_bMailReceiver + m_s.m_bMailDateTime +
                m_s.m_bMailBody + m_s.m_bMailAttachments,
            6);
  EXPECT_EQ(m_s.m_bContactFirstName + m_s.m_bContactMiddleName + m_s.m_bContactLastName +
                m_s.m_bContactFullName + m_s.m_bContactEmail + m_s.m_bContactPhone +
                m_s.m_bContactCompany,
            7);
}

TEST_F(CliOptionsTest, RelativePathsBecomeAbsolute) {
  ASSERT_FALSE(Parse({"--new-files", "out", "a.nsf"}).usageError);
  EXPECT_EQ(m_s.m_strSingleFilePath.front(), u'/');
  EXPECT_EQ(m_s.m_strNewNsfFolder.front(), u'/');
}

TEST_F(CliOptionsTest, TwoDatabasesMakeAMultipleFileRunInOrder) {
  ASSERT_FALSE(Parse({"--action", "delete", "/b.nsf", "/a.nsf"}).usageError);
  EXPECT_EQ(m_s.m_bMultipleFiles, 1);
  EXPECT_EQ(m_s.m_vecFilePaths, (std::vector<std::u16string>{u"/b.nsf", u"/a.nsf"}));
  EXPECT_EQ(m_s.m_bModifyOriginal, 1);
  EXPECT_EQ(m_s.m_nAction, 0);
}

TEST_F(CliOptionsTest, SearchFindsNsfInAnyLetterCaseOnly) {
  testsupport::WriteFile(m_tmp / "mail/a.nsf", "x");
  testsupport::WriteFile(m_tmp / "mail/deep/B.NSF", "x");
  testsupport::WriteFile(m_tmp / "mail/notes.txt", "x");
  testsupport::WriteFile(m_tmp / "mail/nsf", "x");
  ASSERT_FALSE(Parse({"--search", (m_tmp / "mail").string(), "--action=trash"}).usageError);
  EXPECT_EQ(m_s.m_bMultipleFiles, 1);
  std::vector<std::u16string> paths = m_s.m_vecFilePaths;
  std::sort(paths.begin(), paths.end());
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0], platform::FromUtf8((m_tmp / "mail/a.nsf").string()));
  EXPECT_EQ(paths[1], platform::FromUtf8((m_tmp / "mail/deep/B.NSF").string()));
}

TEST_F(CliOptionsTest, SearchOfAMissingFolderIsAUsageError) {
  const auto result = Parse({"--search", (m_tmp / "none").string(), "--action", "delete"});
  EXPECT_NE(result.usageError.value_or("").find("--search"), std::string::npos);
  EXPECT_FALSE(result.startError);
}

// A dry run changes nothing, so it needs no action; alone it judges as
// delete; -h is --help.
TEST_F(CliOptionsTest, DryRunAloneJudgesAsDeleteAndDashHIsHelp) {
  const auto result = Parse({"--dry-run", "/a.nsf"});
  ASSERT_FALSE(result.usageError) << *result.usageError;
  EXPECT_TRUE(result.options.bDryRun);
  EXPECT_EQ(m_s.m_bModifyOriginal, 1);
  EXPECT_EQ(m_s.m_nAction, 0);
  EXPECT_TRUE(Parse({"-h"}).options.bHelp);
}

TEST_F(CliOptionsTest, ScopeViewsAndTime) {
  ASSERT_FALSE(
      Parse({"--scope", "file", "--include-all-view", "--time-hm", "--action", "trash", "/a.nsf"})
          .usageError);
  EXPECT_EQ(m_s.m_bSameFolderScope, 0);
  EXPECT_EQ(m_s.m_bExcludeAllFolder, 0);
  EXPECT_EQ(m_s.m_bTimeFormatHM, 1);
  EXPECT_EQ(m_s.m_nAction, 1);
}

TEST_F(CliOptionsTest, CriteriaListsAndOff) {
  ASSERT_FALSE(Parse({"--mail", "subject,body", "--contact", "off", "--action", "delete", "/a.nsf"})
                   .usageError);
  EXPECT_EQ(m_s.m_bMailSubject, 1);
  EXPECT_EQ(m_s.m_bMailBody, 1);
  EXPECT_EQ(m_s.m_bMailSender, 0);
  EXPECT_EQ(m_s.m_bMailAttachments, 0);
  EXPECT_EQ(m_s.m_bContactCriteria, 0);
  EXPECT_EQ(m_s.m_bContactFullName, 0);
}

TEST_F(CliOptionsTest, PeriodIsComputedFromNow) {
  ASSERT_FALSE(Parse({"--period", "1", "--action", "delete", "/a.nsf"}).usageError);
  EXPECT_EQ(m_s.m_bDateFilter, 1);
  ASSERT_EQ(m_s.m_vecDateRanges.size(), 1u);
  EXPECT_TRUE(m_s.m_vecDateRanges[0].dtStart == DateTimeValue(2010, 3, 8, 14, 5, 0));
  EXPECT_TRUE(m_s.m_vecDateRanges[0].dtEnd == DateTimeValue(2010, 3, 14, 14, 5, 0));
}

TEST_F(CliOptionsTest, PeriodZeroFiltersWithoutRange) {
  ASSERT_FALSE(Parse({"--period", "0", "--action", "delete", "/a.nsf"}).usageError);
  EXPECT_EQ(m_s.m_bDateFilter, 1);
  EXPECT_TRUE(m_s.m_vecDateRanges.empty());
}

TEST_F(CliOptionsTest, RangesAreRepeatableAndADateAloneIsMidnight) {
  ASSERT_FALSE(Parse({"--range", "2010-03-01,2010-03-05T12:30:00", "--range",
                      "2011-01-01,2011-01-01", "--action", "delete", "/a.nsf"})
                   .usageError);
  ASSERT_EQ(m_s.m_vecDateRanges.size(), 2u);
  EXPECT_TRUE(m_s.m_vecDateRanges[0].dtStart == DateTimeValue(2010, 3, 1, 0, 0, 0));
  EXPECT_TRUE(m_s.m_vecDateRanges[0].dtEnd == DateTimeValue(2010, 3, 5, 12, 30, 0));
}

TEST_F(CliOptionsTest, UsageErrorsNameTheProblem) {
  EXPECT_NE(UsageError({"--bogus", "/a.nsf"}).find("--bogus"), std::string::npos);
  EXPECT_NE(UsageError({"--action", "move", "/a.nsf"}).find("--folder"), std::string::npos);
  EXPECT_NE(UsageError({"--action", "copy", "--new-files", "/o", "/a.nsf"}).find("--new-files"),
            std::string::npos);
  EXPECT_NE(UsageError({"--action", "delete"}).find("no database"), std::string::npos);
  EXPECT_NE(UsageError({"/a.nsf"}).find("--new-files"), std::string::npos);
  EXPECT_FALSE(UsageError({"--action", "shred", "/a.nsf"}).empty());
  EXPECT_FALSE(UsageError({"--scope", "world", "--action", "delete", "/a.nsf"}).empty());
  EXPECT_FALSE(UsageError({"--period", "10", "--action", "delete", "/a.nsf"}).empty());
  EXPECT_FALSE(UsageError({"--range", "2010-02-30,2010-03-01", "--action", "delete", "/a.nsf"}).empty());
  EXPECT_FALSE(UsageError({"--range", "2010-03-02,2010-03-01", "--action", "delete", "/a.nsf"}).empty());
  EXPECT_FALSE(UsageError({"--mail", "subject,colour", "--action", "delete", "/a.nsf"}).empty());
  EXPECT_FALSE(UsageError({"--action"}).empty());
  for (const char* jobs : {"0", "x", "-1", "2x", ""})
    EXPECT_NE(UsageError({"--jobs", jobs, "--action", "delete", "/a.nsf"}).find("--jobs"), std::string::npos) << jobs;
  EXPECT_FALSE(UsageError({"--dry-run=yes", "--action", "delete", "/a.nsf"}).empty());
  EXPECT_NE(UsageError({"--period", "1", "--range", "2010-03-01,2010-03-02", "--dry-run", "/a.nsf"}).find("--range"),
            std::string::npos);
}

// For a mail source --folder names a folder beside it, never a path; a
// database keeps any name, as the wizard does.
TEST_F(CliOptionsTest, MailFolderNamesAreNamesNotPaths) {
  const std::string mbox = (m_tmp / "in/x.mbox").string(), maildir = (m_tmp / "Maildir").string();
  testsupport::WriteFile(mbox, "From a Fri Mar  5 14:07:09 2010\nSubject: a\n\none\n");
  fs::create_directories(m_tmp / "Maildir/cur");
  fs::create_directories(m_tmp / "Maildir/new");
  const struct {
    std::string name;
    std::string source;
    bool bRefused;
  } cases[] = {
      {"../escaped", mbox, true},  {"a/b", maildir, true},  {".hidden", maildir, true},
      {"A\\..", maildir, true},   {"A\\\\B", maildir, true}, {"A\\B", mbox, true},
      {"A\\B", maildir, false},   {"Dups", mbox, false},   {"../odd", "/m/a.nsf", false},
  };
  for (const auto& c : cases) {
    const std::string error = UsageError({"--action", "copy", "--folder", c.name, "--yes", c.source});
    EXPECT_EQ(!error.empty(), c.bRefused) << c.name << " " << c.source << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  // The program refuses before it touches anything.
  const std::string command = testsupport::ShellQuote(testsupport::ToolPath("tarnwick-cli").string()) +
                              " --action copy --folder ../escaped --yes " + testsupport::ShellQuote(mbox) +
                              " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_FALSE(fs::exists(m_tmp / "escaped"));
  EXPECT_EQ(testsupport::ReadFile(mbox), "From a Fri Mar  5 14:07:09 2010\nSubject: a\n\none\n");
}

TEST_F(CliOptionsTest, MoveWithFolderAndDoubleDashDatabase) {
  ASSERT_FALSE(Parse({"--action", "move", "--folder", "Dups", "--", "--odd.nsf"}).usageError);
  EXPECT_EQ(m_s.m_nAction, 2);
  EXPECT_EQ(m_s.m_strSubFolderName, u"Dups");
  EXPECT_NE(m_s.m_strSingleFilePath.find(u"--odd.nsf"), std::u16string::npos);
}

}  // namespace
