// The summary and progress page before any run: its summary rows, Close,
// Stop and the confirmation of Start Process in original-file mode.
#include "ui/pages/progressDlg.h"

#include <QAbstractButton>
#include <QImage>
#include <QPalette>
#include <gtest/gtest.h>
#include <memory>

#include "engine/RunSettings.h"
#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"

namespace {

class SummaryPage : public testsupport::TempDirTest {
protected:
  SummaryPage() {
    m_settings.m_strSingleFilePath = u"/mail/ada.nsf";
    m_settings.m_strNewNsfFolder = u"/srv/clean";
    SetMail(1);
    SetContacts(1);
  }
  ~SummaryPage() override {
    m_page.reset();
    uitest::Pump();
  }

  void SetMail(std::uint8_t b) {
    m_settings.m_bMailSubject = m_settings.m_bMailSender = m_settings.m_bMailReceiver = b;
    m_settings.m_bMailDateTime = m_settings.m_bMailBody = m_settings.m_bMailAttachments = b;
  }
  void SetContacts(std::uint8_t b) {
    m_settings.m_bContactFirstName = m_settings.m_bContactLastName = b;
    m_settings.m_bContactMiddleName = m_settings.m_bContactFullName = b;
    m_settings.m_bContactEmail = m_settings.m_bContactPhone = m_settings.m_bContactCompany = b;
  }
  std::vector<std::u16string> Open() {
    m_page = std::make_unique<progressDlg>(m_settings, nullptr);
    EXPECT_TRUE(m_page->Create());
    return m_page->LogRows();
  }
  void Click(int id) { m_page->DlgItem<QAbstractButton>(id)->click(); }

  RunSettings m_settings;
  std::unique_ptr<progressDlg> m_page;
};

const std::u16string kMailRow =
    u"Selection Criteria to remove duplicate mail items (except Contacts) on the basis of: "
    u"Sender Name/Address,Receiver Name/Address,Date and Time,Subject,Attachments,Body";
const std::u16string kContactRow =
    u"Selection Criteria to remove duplicate Contact items on the basis of: "
    u"FullName,First Name,Last Name,Middle Name,Email Address,Primary Phone Number,Company Name";
const std::u16string kLastRow =
    u"Select Start Process button to continue the duplicate remover process ";

}  // namespace

TEST_F(SummaryPage, SingleFileDefaultsGiveTheSevenRows) {
  const std::vector<std::u16string> expected = {
      u"Selection Summary of Process:",
      u"Selected Nsf File: /mail/ada.nsf",
      u"Search Duplicate Items in same Folder,Exclude 'All' Folder.",
      kMailRow,
      kContactRow,
      u"Remove Duplicate items in new NSF File, Saving path is: /srv/clean",
      kLastRow};
  EXPECT_EQ(Open(), expected);
  EXPECT_TRUE(m_page->StatusLine().isEmpty());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kStop)->isHidden());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kFolderBar)->isHidden());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kStartProcess)->isEnabled());
}

TEST_F(SummaryPage, OnlyMiddleNameEndsWithoutAComma) {
  SetContacts(0);
  m_settings.m_bContactMiddleName = 1;
  m_settings.m_bTimeFormatHM = 1;
  m_settings.m_bDateFilter = 1;
  const auto rows = Open();
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows[3], u"Time Format (H:M) is selected");
  EXPECT_EQ(rows[4], u"Remove Duplicate items in selected Date Range");
  EXPECT_EQ(rows[6],
            u"Selection Criteria to remove duplicate Contact items on the basis of: Middle Name");
}

TEST_F(SummaryPage, ThreeFilesGiveACountRowAndThreePathRows) {
  m_settings.m_bMultipleFiles = 1;
  m_settings.m_vecFilePaths = {u"/m/a.nsf", u"/m/b.NSF", u"/m/c.nsf"};
  m_settings.m_bMailCriteria = 0;
  const auto rows = Open();
  ASSERT_GE(rows.size(), 7u);
  EXPECT_EQ(rows[1], u"Total Number of Selected NSF Files:  3");
  EXPECT_EQ(rows[2], u"/m/a.nsf");
  EXPECT_EQ(rows[4], u"/m/c.nsf");
  EXPECT_EQ(rows[6], kContactRow);  // no mail row with the mail group off
}

TEST_F(SummaryPage, CopyToSubFolderNamesTheFolder) {
  m_settings.m_bModifyOriginal = 1;
  m_settings.m_nAction = 3;
  m_settings.m_strSubFolderName = u"Dups";
  m_settings.m_bSameFolderScope = 0;
  m_settings.m_bExcludeAllFolder = 0;
  const auto rows = Open();
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[2], u"Search Duplicate Items across Nsf File");
  EXPECT_EQ(rows[5], u"Remove Duplicate items in original NSF File(s)");
  EXPECT_EQ(rows[6], u"Action to remove Duplicate items:Copy to sub folder. Folder Name: Dups");
}

TEST_F(SummaryPage, CloseBeforeAnyRunOnlyConfirms) {
  Open();
  uitest::TerminateRecorder exits;
  uitest::ShellScript shell;
  auto boxes = uitest::AnswerMessageBoxes([&] { Click(1); }, {QMessageBox::No});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Do you want to Close Application ?");
  EXPECT_TRUE(exits.codes.empty());
  boxes = uitest::AnswerMessageBoxes([&] { Click(1); }, {QMessageBox::Yes});
  ASSERT_EQ(boxes.size(), 1u);  // no log-path message: there is no log file
  EXPECT_EQ(exits.codes, std::vector<int>{255});
  EXPECT_EQ(shell.opened.size(), 1);
}

TEST_F(SummaryPage, StopWithoutARunOnlyClearsTheFlag) {
  const auto before = Open();
  Click(RunPage::kStop);
  EXPECT_EQ(m_settings.m_bRunning, 0);
  EXPECT_EQ(m_page->LogRows(), before);
  EXPECT_TRUE(m_page->LogPath().empty());
}

TEST_F(SummaryPage, StartProcessInOriginalModeAnsweredNoChangesNothing) {
  m_settings.m_bModifyOriginal = 1;
  m_settings.m_bRunning = 0;
  const auto before = Open();
  auto boxes = uitest::AnswerMessageBoxes([&] { Click(RunPage::kStartProcess); }, {QMessageBox::No});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "You Select option to change in Original File.Please keep backup of Original "
            "File.Do you want to Proceed ?");
  EXPECT_EQ(boxes[0].icon, QMessageBox::Question);
  EXPECT_FALSE(m_page->IsRunning());
  EXPECT_EQ(m_settings.m_bRunning, 0);
  EXPECT_TRUE(m_page->LogPath().empty());
  EXPECT_EQ(m_page->LogRows(), before);
}

// Within the rounding of a gradient drawn twice.
bool Alike(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 && std::abs(qBlue(a) - qBlue(b)) <= 2;
}

TEST_F(SummaryPage, TheStatusLineLiesBeneathTheBarsInTheDialogsColour) {
  Open();
  m_page->show();
  for (int bar : {RunPage::kFolderBar, RunPage::kDatabaseBar}) {
    m_page->ShowControl(bar, true);
    m_page->SetBarRange(bar, 0, 4);
    m_page->SetBarPos(bar, 2);
  }
  m_page->SetStatusLine(u"Log file path: /home/anna/Desktop/Tarnwick_log_8-12-2025-9-5-7.txt");
  uitest::Pump();
  // Each bar looks on the page as it does drawn alone: nothing lies over it
  // (its rounded edge alone blends with what is beneath).
  const QImage page = m_page->grab().toImage();
  for (int bar : {RunPage::kFolderBar, RunPage::kDatabaseBar}) {
    QWidget* w = m_page->GetDlgItem(bar);
    const QImage alone = w->grab().toImage().convertToFormat(page.format());
    const QImage there = page.copy(w->geometry());
    int nDiffering = 0;
    for (int y = 2; y < alone.height() - 2; ++y)
      for (int x = 2; x < alone.width() - 2; ++x) nDiffering += !Alike(alone.pixel(x, y), there.pixel(x, y));
    EXPECT_EQ(nDiffering, 0) << "bar " << bar;
  }
  // Once the bars go, the text stands on the dialog's colour.
  for (int bar : {RunPage::kFolderBar, RunPage::kDatabaseBar}) m_page->ShowControl(bar, false);
  uitest::Pump();
  QWidget* status = m_page->GetDlgItem(RunPage::kStatusLine);
  const QImage line = m_page->grab(status->geometry()).toImage();
  const QRgb background = m_page->palette().color(QPalette::Window).rgb();
  EXPECT_EQ(line.pixel(line.width() - 2, line.height() / 2), background);
  int nInk = 0;
  for (int x = 0; x < line.width() / 2; ++x)
    for (int y = 0; y < line.height(); ++y) nInk += line.pixel(x, y) != background;
  EXPECT_GT(nInk, 50);
}
