// Undo on the summary and progress page: offered after a run that changed
// the original, beside the strip's second slot and left of Back; asked
// Yes/No; run on the page's worker; the database then dumps as before.
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

#include "engine/Run.h"
#include "engine/RunSettings.h"
#include "tests/support/NsfJson.h"
#include "tests/ui_options/PageRun.h"

using namespace pagerun;

namespace {

class UndoPageTest : public testsupport::TempDirTest {
protected:
  UndoPageTest() {
    m_db = m_tmp / "ada.nsf";
    testsupport::MakeDatabase(m_db, Database({Memo(100, "Report"), Memo(104, "Lunch"), Memo(108, "Report"),
                                              Folder(8, "($Inbox)", "100, 104, 108"), Folder(12, "Dups", "")}));
    m_settings.m_strSingleFilePath = U(m_db);
    m_settings.m_bModifyOriginal = 1;
    m_settings.m_nAction = 2;
    m_settings.m_strSubFolderName = u"Dups";
    m_settings.m_bMailSubject = m_settings.m_bMailSender = m_settings.m_bMailReceiver = 1;
    m_settings.m_bMailDateTime = m_settings.m_bMailBody = m_settings.m_bMailAttachments = 1;
    EXPECT_TRUE(SelectEveryFolder(m_settings));
    m_page = std::make_unique<progressDlg>(m_settings, nullptr);
    EXPECT_TRUE(m_page->Create());
    m_page->show();
  }
  ~UndoPageTest() override {
    m_page.reset();
    uitest::Pump();
  }
  QPushButton* Undo() const { return m_page->findChild<QPushButton*>(QStringLiteral("ctl1101")); }

  std::filesystem::path m_db;
  RunSettings m_settings;
  std::unique_ptr<progressDlg> m_page;
};

}  // namespace

TEST_F(UndoPageTest, UndoSitsInTheStripAndBringsTheMovedDocumentBack) {
  const std::string before = testsupport::DumpWithEntrySets(m_db);
  ASSERT_NE(Undo(), nullptr);
  EXPECT_TRUE(Undo()->isHidden());  // nothing to undo yet
  StartAndWait(*m_page, {QMessageBox::Yes});
  ASSERT_NE(testsupport::DumpWithEntrySets(m_db), before);
  const auto rows = m_page->LogRows();
  EXPECT_EQ(rows.back(), u"Journal file path: " + m_page->JournalPath());
  EXPECT_TRUE(std::filesystem::exists(P(m_page->JournalPath())));
  ASSERT_TRUE(Undo()->isVisible());
  EXPECT_EQ(Undo()->text(), "Undo");

  // Left of Back, right of Help, beside Preview.
  const QRect undo = Undo()->geometry();
  const QRect second = m_page->GetDlgItem(progressDlg::kPreview)->geometry();
  const QRect help = m_page->GetDlgItem(1028)->geometry();
  EXPECT_LT(undo.right(), m_page->GetDlgItem(RunPage::kBack)->geometry().left());
  EXPECT_EQ(undo.top(), m_page->GetDlgItem(RunPage::kBack)->geometry().top());
  EXPECT_FALSE(second.intersects(undo));
  EXPECT_FALSE(second.intersects(help));
  EXPECT_LT(help.right(), second.left());

  // No keeps everything; Yes undoes on the worker and reports the count.
  uitest::AnswerMessageBoxes([&] { Undo()->click(); }, {QMessageBox::No});
  EXPECT_FALSE(m_page->IsRunning());
  EXPECT_NE(testsupport::DumpWithEntrySets(m_db), before);
  uitest::MessageBoxAnswerer answerer({QMessageBox::Yes, QMessageBox::Ok});
  Undo()->click();
  ASSERT_TRUE(PumpUntil([&] { return !m_page->IsRunning(); }));
  uitest::Pump();
  ASSERT_EQ(answerer.seen.size(), 2u);
  EXPECT_EQ(answerer.seen[0].icon, QMessageBox::Question);
  EXPECT_EQ(answerer.seen[1].text, "Restored: 1 documents");
  EXPECT_EQ(testsupport::DumpWithEntrySets(m_db), before);
  const auto after = m_page->LogRows();
  EXPECT_EQ(std::vector<std::u16string>(after.end() - 2, after.end()),
            (std::vector<std::u16string>{u"Undoing: " + U(m_db), u"Restored: 1 documents"}));
  EXPECT_TRUE(Undo()->isHidden());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kBack)->isEnabled());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kStartProcess)->isEnabled());
  EXPECT_TRUE(m_page->GetDlgItem(RunPage::kFolderBar)->isHidden());
}
