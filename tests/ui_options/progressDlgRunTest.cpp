// Runs on the summary and progress page: Start Process to the completion
// message, the status line, a second run on the same page, Close after a run,
// Cancel during a run.
#include <QPlainTextEdit>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

#include "engine/Run.h"
#include "engine/RunSettings.h"
#include "platform/Paths.h"
#include "tests/support/NsfJson.h"
#include "tests/ui_options/PageRun.h"

using namespace pagerun;

namespace {

class PageRunTest : public testsupport::TempDirTest {
protected:
  PageRunTest() {
    m_db = m_tmp / "ada.nsf";
    testsupport::MakeDatabase(
        m_db, Database({Memo(100, "Report"), Memo(104, "Lunch"), Memo(108, "Report"),
                        Folder(8, "($Inbox)", "100, 104, 108")}));
    std::filesystem::create_directories(m_tmp / "clean");
    m_settings.m_strSingleFilePath = U(m_db);
    m_settings.m_strNewNsfFolder = U(m_tmp / "clean");
    m_settings.m_bMailSubject = m_settings.m_bMailSender = m_settings.m_bMailReceiver = 1;
    m_settings.m_bMailDateTime = m_settings.m_bMailBody = m_settings.m_bMailAttachments = 1;
    m_settings.m_bContactFullName = 1;
    EXPECT_TRUE(SelectEveryFolder(m_settings));
    m_page = std::make_unique<progressDlg>(m_settings, nullptr);
    EXPECT_TRUE(m_page->Create());
    m_summary = m_page->LogRows();
  }
  ~PageRunTest() override {
    m_page.reset();
    uitest::Pump();
  }

  std::vector<std::u16string> RunRows() const {
    const auto rows = m_page->LogRows();
    return {rows.begin() + static_cast<long>(m_summary.size()), rows.end()};
  }
  std::vector<std::filesystem::path> Copies() const {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(m_tmp / "clean")) files.push_back(e.path());
    return files;
  }

  std::filesystem::path m_db;
  RunSettings m_settings;
  std::unique_ptr<progressDlg> m_page;
  std::vector<std::u16string> m_summary;
};

}  // namespace

TEST_F(PageRunTest, NewFileRunEndsWithTheMessageTheStatusLineAndTheButtonsBack) {
  const std::string before = testsupport::ReadFile(m_db);
  const auto boxes = StartAndWait(*m_page);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kCompleted);
  EXPECT_EQ(boxes[0].owner, m_page.get());

  const std::u16string log = m_page->LogPath();
  EXPECT_EQ(P(log).parent_path(), std::filesystem::path(platform::DesktopFolder()));
  EXPECT_EQ(m_page->StatusLine(), "Log file path: " + Q(log));
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kStop)->isHidden());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kDatabaseBar)->isHidden());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kStartProcess)->isEnabled());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kBack)->isEnabled());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kClose)->isEnabled());

  const auto copies = Copies();
  ASSERT_EQ(copies.size(), 1u);
  const std::vector<std::u16string> expected = {
      u"Creating Database " + U(copies[0]), u"Opening Database " + U(copies[0]),
      u"Processing Folders", u"Processing Folder :\t($Inbox)", Summary(3, 1)};
  EXPECT_EQ(RunRows(), expected);
  EXPECT_EQ(testsupport::ReadFile(m_db), before);  // the original is untouched
  EXPECT_EQ(testsupport::DumpDatabase(copies[0]).find("\"noteId\": 108"), std::string::npos);

  EXPECT_EQ(ReadLog(P(log)), Header() + CopiedRows(m_summary) + Dashes() +
                                 u"Processing Folder :\t ($Inbox)\r\n" + Kept(100) + Kept(104) +
                                 Summary(3, 1) + u"\r\n\r\n" + Closing());
}

TEST_F(PageRunTest, SecondRunAppendsItsRowsAndCopiesEveryRowIntoItsLog) {
  StartAndWait(*m_page);
  const auto afterFirst = m_page->LogRows();
  const std::u16string firstLog = m_page->LogPath();
  StartAndWait(*m_page);
  const auto rows = m_page->LogRows();
  ASSERT_EQ(rows.size(), afterFirst.size() + (afterFirst.size() - m_summary.size()));
  EXPECT_TRUE(std::equal(afterFirst.begin(), afterFirst.end(), rows.begin()));

  // The second log's head copies the summary and the first run's rows. Two
  // presses within one second share one file, the second part appended.
  const std::u16string text = ReadLog(P(m_page->LogPath()));
  const std::u16string head = Header() + CopiedRows(afterFirst);
  EXPECT_NE(text.find(head), std::u16string::npos);
  EXPECT_EQ(text.substr(text.size() - Closing().size()), Closing());
  if (m_page->LogPath() == firstLog) {
    EXPECT_EQ(text.find(Header(), 1), text.find(head));
  }
}

TEST_F(PageRunTest, CloseAfterARunShowsTheLogPathAndClosesTheLog) {
  StartAndWait(*m_page);
  uitest::TerminateRecorder exits;
  uitest::ShellScript shell;
  const auto boxes = uitest::AnswerMessageBoxes(
      [&] { m_page->DlgItem<QAbstractButton>(RunPage::kClose)->click(); }, {QMessageBox::Yes});
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Do you want to Close Application ?");
  EXPECT_EQ(boxes[1].text, "Log file path: " + Q(m_page->LogPath()));
  EXPECT_EQ(boxes[1].icon, QMessageBox::Information);
  EXPECT_FALSE(m_settings.m_logFile.IsOpen());
  EXPECT_EQ(exits.codes, std::vector<int>{255});
}

TEST_F(PageRunTest, CancelDuringARunStopsItAndEndsOnlyAfterTheWorkerLeft) {
  uitest::TerminateRecorder exits;
  bool bCancelled = false;
  std::size_t nRowsAtCancel = 0;
  // The window manager's close arrives while the worker waits for its
  // "Processing Folder" row to be added (the worker is held there, so the
  // test does not race it): the confirmation is answered Yes, and the page
  // may end the process only after that call returned and the worker left.
  const auto boxes = StartAndWait(*m_page, {QMessageBox::Yes}, [&](const QString& row) {
    if (!bCancelled && row.startsWith("Processing Folder :")) {
      bCancelled = true;
      nRowsAtCancel = m_page->LogRows().size();
      m_page->close();
      EXPECT_TRUE(exits.codes.empty()) << "ended while the worker was in the database";
    }
  });
  ASSERT_TRUE(bCancelled);
  EXPECT_TRUE(PumpUntil([&] { return !exits.codes.empty(); }, 10000));
  ASSERT_EQ(boxes.size(), 1u);  // the confirmation; no completion message
  EXPECT_EQ(boxes[0].text, "Do you want to Close Application ?");
  EXPECT_EQ(exits.codes, std::vector<int>{255});
  EXPECT_FALSE(m_page->IsRunning());
  EXPECT_EQ(m_settings.m_bRunning, 0);
  // The pass was stopped before its first document: no summary row, the
  // copy keeps every document, and the log ends as every run does.
  EXPECT_EQ(m_page->LogRows().size(), nRowsAtCancel);
  const std::u16string text = ReadLog(P(m_page->LogPath()));
  EXPECT_EQ(text.substr(text.size() - Closing().size()), Closing());
  EXPECT_EQ(text.find(u"Item ID:"), std::u16string::npos);
}
