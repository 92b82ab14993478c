#include <gtest/gtest.h>

#include "engine/RunLog.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tests/engine/RecordingPage.h"
#include "tests/support/TestSupport.h"

namespace {

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
  // /dev/full accepts the open and refuses every write, as a full disk does.
  ASSERT_TRUE(m_file.Open("/dev/full", platform::CFile::Mode::openExisting));
  RunLog log(m_file, m_page, u"/dev/full");
  log.WriteLogText(u"first");
  log.Flush();
  log.WriteLogText(u"second");
  log.Flush();
  EXPECT_FALSE(m_file.IsOpen());
  EXPECT_EQ(m_page.rows, std::vector<std::u16string>{u"Log file could not be written: /dev/full"});
  // The header written at the start fails the same way.
  m_page.rows.clear();
  OpenRunLog(m_file, m_page, u"/dev/full", {u"A"});
  EXPECT_FALSE(m_file.IsOpen());
  EXPECT_EQ(m_page.rows, std::vector<std::u16string>{u"Log file could not be written: /dev/full"});
}

TEST_F(RunLogTest, NoFolderSkipsTheAttempt) {
  OpenRunLog(m_file, m_page, u"Tarnwick_log_1-1-2026-0-0-5.txt", {}, false);
  EXPECT_FALSE(m_file.IsOpen());
  EXPECT_EQ(m_page.rows.size(), 1u);
}

}  // namespace
