// The start page driven as a user would: modes, Browse, Next and Back.
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "engine/RunSettings.h"
#include "tests/support/MailFiles.h"
#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"
#include "ui/frame/PageFactory.h"
#include "ui/pages/CTarnwickDlg.h"
#include "ui/pages/MultipleFileDlg.h"
#include "ui/pages/SourceChoice.h"

namespace {

// Stands for the single-file information page, which this suite does not test.
class StubPage : public frame::CWizardPage {
public:
  StubPage(RunSettings& s, frame::CWizardPage* c) : CWizardPage(129, s, c) {}
};

class StartPageTest : public testsupport::TempDirTest {
protected:
  StartPageTest() {
    frame::RegisterPageClass<StubPage>(129);
    frame::RegisterPageClass<MultipleFileDlg>(131);
    EXPECT_TRUE(start.Create());
    start.show();
  }
  ~StartPageTest() override {
    frame::RegisterPage(129, {});
    frame::RegisterPage(131, {});
  }
  void Click(int id) { QTest::mouseClick(start.GetDlgItem(id), Qt::LeftButton); }
  std::vector<uitest::SeenBox> ClickNext() {
    return uitest::AnswerMessageBoxes([&] { Click(1002); });
  }
  QLineEdit* PathBox() { return start.DlgItem<QLineEdit>(1000); }

  uitest::ShellScript shell;
  uitest::TerminateRecorder exits;
  RunSettings settings;
  CTarnwickDlg start{settings};
};

TEST_F(StartPageTest, RadioButtonsSwitchModesAndThePathBoxKeepsItsText) {
  EXPECT_TRUE(start.IsDlgButtonChecked(1013));
  EXPECT_FALSE(start.IsDlgButtonChecked(1014));
  EXPECT_TRUE(PathBox()->isEnabled());
  QTest::keyClicks(PathBox(), "/data/mail.nsf");

  Click(1014);
  EXPECT_FALSE(start.IsDlgButtonChecked(1013));
  EXPECT_TRUE(start.IsDlgButtonChecked(1014));
  EXPECT_FALSE(PathBox()->isEnabled());
  EXPECT_FALSE(start.GetDlgItem(1001)->isEnabled());
  EXPECT_EQ(PathBox()->text(), "/data/mail.nsf");

  Click(1013);
  EXPECT_TRUE(start.IsDlgButtonChecked(1013));
  EXPECT_FALSE(start.IsDlgButtonChecked(1014));
  EXPECT_TRUE(PathBox()->isEnabled());
  EXPECT_TRUE(start.GetDlgItem(1001)->isEnabled());
  EXPECT_EQ(PathBox()->text(), "/data/mail.nsf");
  Click(1013);  // clicking the checked mode again keeps it
  EXPECT_TRUE(start.IsDlgButtonChecked(1013));
}

TEST_F(StartPageTest, BrowseSetsThePathAndACancelledBrowseKeepsIt) {
  shell.openFile = {"/data/first.nsf"};
  Click(1001);
  EXPECT_EQ(PathBox()->text(), "/data/first.nsf");
  EXPECT_EQ(settings.m_strSingleFilePath, u"/data/first.nsf");
  Click(1001);  // the dialog is cancelled this time
  EXPECT_EQ(PathBox()->text(), "/data/first.nsf");
  EXPECT_EQ(settings.m_strSingleFilePath, u"/data/first.nsf");
}

TEST_F(StartPageTest, NextWithAnEmptyPathAsksForOneAndCreatesNoPage) {
  settings.m_bMultipleFiles = 1;
  const auto seen = ClickNext();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Please browse file path");
  EXPECT_EQ(seen[0].caption, "Tarnwick v1.0");
  EXPECT_EQ(seen[0].icon, QMessageBox::Information);
  EXPECT_EQ(start.FileInfoPage(), nullptr);
  EXPECT_TRUE(start.isVisible());
  EXPECT_EQ(settings.m_bMultipleFiles, 1);
}

TEST_F(StartPageTest, ATypedPathIsWhatTheNextPageOpens) {
  shell.openFile = {"/data/browsed.nsf"};
  Click(1001);
  PathBox()->clear();
  QTest::keyClicks(PathBox(), "/data/typed.nsf");
  settings.m_bMultipleFiles = 1;
  EXPECT_TRUE(ClickNext().empty());
  EXPECT_EQ(settings.m_strSingleFilePath, u"/data/typed.nsf");
  ASSERT_NE(start.FileInfoPage(), nullptr);
  EXPECT_TRUE(start.FileInfoPage()->isVisible());
  EXPECT_FALSE(start.isVisible());
  EXPECT_EQ(settings.m_bMultipleFiles, 0);
}

TEST_F(StartPageTest, MultipleModeOpensTheListPageWhateverThePathBoxHolds) {
  Click(1014);
  EXPECT_TRUE(ClickNext().empty());
  ASSERT_NE(start.MultipleFilePage(), nullptr);
  EXPECT_NE(dynamic_cast<MultipleFileDlg*>(start.MultipleFilePage()), nullptr);
  EXPECT_EQ(settings.m_bMultipleFiles, 1);
  EXPECT_EQ(start.FileInfoPage(), nullptr);
}

TEST_F(StartPageTest, AFailedCreationIsReportedAndKeepsTheModeFlag) {
  frame::RegisterPage(129, {});
  frame::RegisterPage(131, {});
  QTest::keyClicks(PathBox(), "/data/mail.nsf");
  settings.m_bMultipleFiles = 1;
  auto seen = ClickNext();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "File Info dialog cannot be created");
  EXPECT_EQ(settings.m_bMultipleFiles, 1);
  EXPECT_TRUE(start.isVisible());

  Click(1014);
  settings.m_bMultipleFiles = 0;
  seen = ClickNext();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Multiple File dialog cannot be created");
  EXPECT_EQ(settings.m_bMultipleFiles, 0);
}

TEST_F(StartPageTest, BackReturnsUnchangedAndNextAgainMakesAFreshListPage) {
  QTest::keyClicks(PathBox(), "/data/kept.nsf");
  Click(1014);
  ClickNext();
  QPointer<frame::CWizardPage> list = start.MultipleFilePage();
  ASSERT_TRUE(list);
  auto* rows = list->DlgItem<QTreeWidget>(1015);
  rows->addTopLevelItem(new QTreeWidgetItem({"/data/x.nsf", "1"}));

  uitest::AnswerMessageBoxes([&] { list->DlgItem<QPushButton>(1009)->click(); });
  EXPECT_TRUE(list.isNull());
  EXPECT_EQ(start.MultipleFilePage(), nullptr);
  EXPECT_TRUE(start.isVisible());
  EXPECT_TRUE(start.IsDlgButtonChecked(1014));
  EXPECT_EQ(PathBox()->text(), "/data/kept.nsf");

  ClickNext();
  ASSERT_NE(start.MultipleFilePage(), nullptr);
  EXPECT_EQ(start.MultipleFilePage()->DlgItem<QTreeWidget>(1015)->topLevelItemCount(), 0);
}

TEST_F(StartPageTest, EnterInThePathBoxDoesNotPressNext) {
  QApplication::setActiveWindow(&start);
  PathBox()->setFocus();
  const auto seen = uitest::AnswerMessageBoxes([&] { QTest::keyClick(PathBox(), Qt::Key_Return); });
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(start.FileInfoPage(), nullptr);
  EXPECT_TRUE(start.isVisible());
  EXPECT_TRUE(uitest::AnswerMessageBoxes([&] { QTest::keyClick(&start, Qt::Key_Escape); }).empty());
  EXPECT_TRUE(start.isVisible());
}

}  // namespace

TEST_F(StartPageTest, TheBrowseDialogListsEveryFileFirstAndTakesAMaildirLikeAFile) {
  const std::filesystem::path maildir = m_tmp / "Maildir", plain = m_tmp / "plain";
  testsupport::MakeMaildir(maildir, {{"", {"ab"}}});
  std::filesystem::create_directories(plain);
  win::SourceFileDialog dialog(nullptr, {}, sourcechoice::DatabasesAndMail(), false);
  EXPECT_EQ(dialog.nameFilters(),
            (QStringList{"All files (*)", "NSF files (*.nsf)", "Mail files (*.mbox *.mbx mbox)"}));
  dialog.setDirectory(QString::fromStdString(m_tmp.Path().string()));
  dialog.selectFile("plain");
  dialog.accept();  // any other folder is opened, as always
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.directory().absolutePath().toStdString(), plain.string());
  dialog.setDirectory(QString::fromStdString(m_tmp.Path().string()));
  dialog.selectFile("Maildir");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Chosen(), QStringList{QString::fromStdString(maildir.string())});
}

TEST_F(StartPageTest, TheFirstOpenFileDialogIsCentredOverThePage) {
  QWidget page;
  page.setGeometry(300, 200, 645, 495);
  page.show();
  win::SourceFileDialog dialog(&page, {}, sourcechoice::DatabasesAndMail(), false);
  dialog.show();
  uitest::Pump();
  EXPECT_LE((dialog.frameGeometry().center() - page.frameGeometry().center()).manhattanLength(), 2);
}
