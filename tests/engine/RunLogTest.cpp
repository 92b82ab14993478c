#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "engine/RunLog.h"
#include "engine/journal/JournalFile.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tests/engine/RecordingPage.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

const std::string kHeader = Utf16(std::u16string(149, u'*') + u"\r\n");

class RunLogTest : public testsupport::TempDirTest {
protected:
  std::u16string PathOf(const std::string& name) {
    return platform::FromUtf8((m_tmp / name).string());
  }
  RecordingPage m_page;
  platform::CFile m_file;
};

TEST(RunLogPath, FolderNameAndStamp) {
  EXPECT_EQ(LogFilePath(u"/home/a/Desktop", u"8-12-2025-9-5-7"),
            u"/home/a/Desktop/Tarnwick_log_8-12-2025-9-5-7.txt");
  EXPECT_EQ(LogFilePath(u"/", u"1-1-2026-0-0-5"), u"/Tarnwick_log_1-1-2026-0-0-5.txt");
}

TEST_F(RunLogTest, NewFileStartsWithMarkHeaderAndRows) {
  const auto path = PathOf("log.txt");
  OpenRunLog(m_file, m_page, path, {u"Selection Summary of Process:", u"Tab\there"});
  {
    RunLog log(m_file, m_page, path);
    log.WriteLogText(u"Work Completed!!!!\r\n\r\n");
  }
  m_file.Close();
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "log.txt"),
            std::string("\xFF\xFE") + kHeader + Utf16(u"Selection Summary of Process:\r\n") +
                Utf16(u"Tab\there\r\n") + Utf16(u"Work Completed!!!!\r\n\r\n"));
  EXPECT_TRUE(m_page.rows.empty());
}

TEST_F(RunLogTest, SecondStartAppendsWithoutSecondMark) {
  const auto path = PathOf("log.txt");
  OpenRunLog(m_file, m_page, path, {u"A"});
  OpenRunLog(m_file, m_page, path, {u"A", u"B"});
  m_file.Close();
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "log.txt"),
            std::string("\xFF\xFE") + kHeader + Utf16(u"A\r\n") + kHeader + Utf16(u"A\r\nB\r\n"));
}

TEST_F(RunLogTest, OpenFileIsHeldExclusively) {
  const auto path = PathOf("log.txt");
  OpenRunLog(m_file, m_page, path, {});
  platform::CFile other;
  EXPECT_FALSE(other.Open(platform::ToUtf8(path), platform::CFile::Mode::openExisting));
  m_file.Close();
  EXPECT_TRUE(other.Open(platform::ToUtf8(path), platform::CFile::Mode::openExisting));
}

TEST_F(RunLogTest, FileThatCannotBeMadeGivesOneRowAndNoWrites) {
  testsupport::WriteFile(m_tmp / "plain", "not a folder");
  const auto path = PathOf("plain/log.txt");
  OpenRunLog(m_file, m_page, path, {u"A"});
  EXPECT_FALSE(m_file.IsOpen());
  RunLog log(m_file, m_page, path);
  log.WriteLogText(u"text");
  log.Flush();
  EXPECT_EQ(m_page.rows, std::vector<std::u16string>{u"Log file could not be created: " + path});
}

TEST_F(RunLogTest, FailedWriteLetsTheFileGoWithOneRow) {
  // A file size limit refuses writes past it, as a full disk does.
  const auto path = PathOf("log.txt");
  struct SizeLimit {
    struct rlimit old {};
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    SizeLimit() {
      ::getrlimit(RLIMIT_FSIZE, &old);
      struct rlimit small = old;
      small.rlim_cur = 4096;
      ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~SizeLimit() {
      ::setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, previous);
    }
  } limit;
  OpenRunLog(m_file, m_page, path, {u"A"});
  ASSERT_TRUE(m_file.IsOpen());
  {
    RunLog log(m_file, m_page, path);
    log.WriteLogText(std::u16string(4096, u'x'));
    log.Flush();
    log.WriteLogText(u"second");
    log.Flush();
  }
  EXPECT_FALSE(m_file.IsOpen());
  EXPECT_EQ(m_page.rows, std::vector<std::u16string>{u"Log file could not be written: " + path});
  // The header written at the start fails the same way.
  m_page.rows.clear();
  OpenRunLog(m_file, m_page, path, {std::u16string(4096, u'y')});
  EXPECT_FALSE(m_file.IsOpen());
  EXPECT_EQ(m_page.rows, std::vector<std::u16string>{u"Log file could not be written: " + path});
}

TEST_F(RunLogTest, NamesHeldByARunStillGoingGiveTheNextFreeOnes) {
  const auto path = PathOf("Tarnwick_log_1-1-2026-0-0-5.txt");
  EXPECT_EQ(OpenRunLog(m_file, m_page, path, {u"first"}), path);
  // A second run of the same second, while the first holds its names.
  platform::CFile second, third;
  const auto second2 = PathOf("Tarnwick_log_1-1-2026-0-0-5-2.txt");
  EXPECT_EQ(OpenRunLog(second, m_page, path, {u"second"}), second2);
  // A run that let its log go still holds its journal: that name is held too.
  std::string error;
  auto journal = journal::JournalWriter::Open((m_tmp / "Tarnwick_log_1-1-2026-0-0-5-3.journal").string(), &error);
  ASSERT_TRUE(journal) << error;
  EXPECT_EQ(OpenRunLog(third, m_page, path, {u"third"}), PathOf("Tarnwick_log_1-1-2026-0-0-5-4.txt"));
  // Once the first has ended, the next run of that second appends to its log.
  m_file.Close();
  platform::CFile fourth;
  EXPECT_EQ(OpenRunLog(fourth, m_page, path, {u"fourth"}), path);
  fourth.Close();
  second.Close();
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "Tarnwick_log_1-1-2026-0-0-5.txt"),
            std::string("\xFF\xFE") + kHeader + Utf16(u"first\r\n") + kHeader + Utf16(u"fourth\r\n"));
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "Tarnwick_log_1-1-2026-0-0-5-2.txt"),
            std::string("\xFF\xFE") + kHeader + Utf16(u"second\r\n"));
  EXPECT_TRUE(m_page.rows.empty());
}

TEST_F(RunLogTest, PlantedNameIsNeverWrittenThrough) {
  testsupport::WriteFile(m_tmp / "target", "kept");
  fs::create_symlink(m_tmp / "target", m_tmp / "log.txt");
  const auto path = PathOf("log.txt");
  EXPECT_EQ(OpenRunLog(m_file, m_page, path, {u"A"}), path);
  EXPECT_FALSE(m_file.IsOpen());
  EXPECT_EQ(m_page.rows, std::vector<std::u16string>{u"Log file could not be created: " + path});
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "target"), "kept");
}

TEST_F(RunLogTest, NoFolderSkipsTheAttempt) {
  OpenRunLog(m_file, m_page, u"Tarnwick_log_1-1-2026-0-0-5.txt", {}, false);
  EXPECT_FALSE(m_file.IsOpen());
  EXPECT_EQ(m_page.rows.size(), 1u);
}

}  // namespace
