// The criteria and action page, driven through its controls.
#include "ui/pages/SaveingOptionDlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "engine/RunSettings.h"
#include "platform/Paths.h"
#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"
#include "ui/pages/progressDlg.h"

namespace {

class CriteriaPage : public testsupport::TempDirTest {
protected:
  CriteriaPage() : m_page(m_settings, nullptr) { EXPECT_TRUE(m_page.Create()); }
  ~CriteriaPage() override { uitest::Pump(); }

  void Click(int id) { m_page.DlgItem<QAbstractButton>(id)->click(); }
  std::vector<QString> Next() {
    std::vector<QString> texts;
    for (const auto& box : uitest::AnswerMessageBoxes([&] { Click(1050); })) {
      texts.push_back(box.text);
    }
    return texts;
  }
  QTreeWidgetItem* Row(int list, int nRow) {
    return m_page.DlgItem<QTreeWidget>(list)->topLevelItem(nRow);
  }
  void Uncheck(int list, int nRow) { Row(list, nRow)->setCheckState(0, Qt::Unchecked); }
  void ChooseAction(int nIndex) { m_page.DlgItem<QComboBox>(SaveingOptionDlg::kActionCombo)->setCurrentIndex(nIndex); }
  bool Shown(int id) const { return !m_page.GetDlgItem(id)->isHidden(); }
  bool Enabled(int id) const { return m_page.GetDlgItem(id)->isEnabled(); }
  void ChooseSavingPath() { m_page.SetDlgItemText(SaveingOptionDlg::kSavingPath, "/srv/clean"); }

  RunSettings m_settings;
  SaveingOptionDlg m_page;
};

}  // namespace

TEST_F(CriteriaPage, FreshPageIsInNewFileModeWithEveryRowChecked) {
  EXPECT_TRUE(m_page.IsDlgButtonChecked(SaveingOptionDlg::kNewFileMode));
  EXPECT_FALSE(m_page.IsDlgButtonChecked(SaveingOptionDlg::kOriginalMode));
  EXPECT_FALSE(Enabled(SaveingOptionDlg::kActionCombo));
  EXPECT_TRUE(Enabled(SaveingOptionDlg::kSavingPath));
  EXPECT_FALSE(Shown(SaveingOptionDlg::kFolderEdit));
  auto* mail = m_page.DlgItem<QTreeWidget>(SaveingOptionDlg::kMailList);
  auto* contacts = m_page.DlgItem<QTreeWidget>(SaveingOptionDlg::kContactList);
  ASSERT_EQ(mail->topLevelItemCount(), 6);
  ASSERT_EQ(contacts->topLevelItemCount(), 7);
  EXPECT_EQ(mail->headerItem()->text(0), "Comparison Fields ");
  EXPECT_EQ(Row(SaveingOptionDlg::kMailList, 1)->text(0), "Sender Name/Address");
  EXPECT_EQ(Row(SaveingOptionDlg::kContactList, 1)->text(0), "Middle Name");
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(Row(SaveingOptionDlg::kContactList, i)->checkState(0), Qt::Checked);
  }
  EXPECT_EQ(m_page.DlgItem<QComboBox>(SaveingOptionDlg::kActionCombo)->currentText(),
            "Delete Permanently");
}

TEST_F(CriteriaPage, NextAtOnceAsksForTheSavingLocation) {
  m_settings.m_bModifyOriginal = 1;
  EXPECT_EQ(Next(), std::vector<QString>{"Please browse saving location to continue."});
  EXPECT_EQ(m_settings.m_bModifyOriginal, 0);
  EXPECT_EQ(m_page.NextPage(), nullptr);
}

TEST_F(CriteriaPage, ATypedLocationThatDoesNotExistIsAccepted) {
  m_page.SetDlgItemText(SaveingOptionDlg::kSavingPath, "/no/such/folder");
  EXPECT_TRUE(Next().empty());
  EXPECT_EQ(m_settings.m_strNewNsfFolder, u"/no/such/folder");
  EXPECT_EQ(m_settings.m_bMailSubject, 1);
  EXPECT_EQ(m_settings.m_bContactCompany, 1);
  EXPECT_NE(dynamic_cast<progressDlg*>(m_page.NextPage()), nullptr);
}

TEST_F(CriteriaPage, SubFolderEditFollowsTheActionAlone) {
  ChooseAction(2);
  EXPECT_TRUE(Shown(SaveingOptionDlg::kFolderEdit));
  EXPECT_TRUE(Shown(SaveingOptionDlg::kFolderLabel));
  Click(SaveingOptionDlg::kOriginalMode);
  EXPECT_TRUE(Enabled(SaveingOptionDlg::kFolderEdit));
  Click(SaveingOptionDlg::kNewFileMode);
  EXPECT_TRUE(Shown(SaveingOptionDlg::kFolderEdit));  // the mode does not hide it
  EXPECT_FALSE(Enabled(SaveingOptionDlg::kFolderEdit));
  ChooseAction(0);
  EXPECT_FALSE(Shown(SaveingOptionDlg::kFolderEdit));
  EXPECT_FALSE(Shown(SaveingOptionDlg::kFolderLabel));
}

TEST_F(CriteriaPage, DeleteInOriginalModeNeverAsksForAFolderName) {
  Click(SaveingOptionDlg::kOriginalMode);
  ChooseAction(3);
  m_page.SetDlgItemText(SaveingOptionDlg::kFolderEdit, "Kept");
  ChooseAction(1);
  EXPECT_TRUE(Next().empty());
  EXPECT_EQ(m_settings.m_bModifyOriginal, 1);
  EXPECT_EQ(m_settings.m_nAction, 1);
  EXPECT_TRUE(m_settings.m_strSubFolderName.empty());
}

TEST_F(CriteriaPage, MoveWithoutAFolderNameIsRefused) {
  Click(SaveingOptionDlg::kOriginalMode);
  ChooseAction(2);
  EXPECT_EQ(Next(), std::vector<QString>{"Please enter Folder name of sub folder"});
  m_page.SetDlgItemText(SaveingOptionDlg::kFolderEdit, "Dups");
  EXPECT_TRUE(Next().empty());
  EXPECT_EQ(m_settings.m_nAction, 2);
  EXPECT_EQ(m_settings.m_strSubFolderName, u"Dups");
}

TEST_F(CriteriaPage, UncheckingMiddleNameStoresTheThirdContactByte) {
  ChooseSavingPath();
  Uncheck(SaveingOptionDlg::kContactList, 1);
  EXPECT_TRUE(Next().empty());
  EXPECT_EQ(m_settings.m_bContactMiddleName, 0);
  EXPECT_EQ(m_settings.m_bContactLastName, 1);
}

TEST_F(CriteriaPage, CriteriaMessagesComeInTheirOrder) {
  ChooseSavingPath();
  for (int i = 0; i < 7; ++i) {
    Uncheck(SaveingOptionDlg::kContactList, i);
  }
  EXPECT_EQ(Next(), std::vector<QString>{
      "please select at least one option for comparison criteria for duplicate items in contacts"});
  Click(SaveingOptionDlg::kContactGroup);  // off: its rows no longer matter
  EXPECT_FALSE(Enabled(SaveingOptionDlg::kContactList));
  EXPECT_EQ(Row(SaveingOptionDlg::kContactList, 0)->checkState(0), Qt::Unchecked);
  Click(SaveingOptionDlg::kMailGroup);
  EXPECT_EQ(Next(), std::vector<QString>{
      "please select at least one option for comparison criteria for duplicate items"});
  EXPECT_EQ(m_settings.m_bMailCriteria, 0);
  EXPECT_EQ(m_settings.m_bContactCriteria, 0);
  Click(SaveingOptionDlg::kMailGroup);
  for (int i = 0; i < 6; ++i) {
    Uncheck(SaveingOptionDlg::kMailList, i);
  }
  EXPECT_EQ(Next(), std::vector<QString>{
      "please select at least one option for comparison criteria for duplicate items"});
}

TEST_F(CriteriaPage, BrowsePutsTheChosenFolderAndCancelKeepsTheText) {
  uitest::ShellScript shell;
  shell.browseFolder = {"/srv/chosen"};
  Click(SaveingOptionDlg::kBrowse);
  EXPECT_EQ(m_page.GetDlgItemText(SaveingOptionDlg::kSavingPath), "/srv/chosen");
  EXPECT_EQ(shell.folderTitles, QStringList{"Select Folder"});
  const QString desktop = QString::fromStdString(platform::DesktopFolder());
  ASSERT_FALSE(desktop.isEmpty());
  EXPECT_EQ(shell.folderStarts, QStringList{desktop});
  Click(SaveingOptionDlg::kBrowse);  // cancelled
  EXPECT_EQ(m_page.GetDlgItemText(SaveingOptionDlg::kSavingPath), "/srv/chosen");
}

TEST_F(CriteriaPage, CriteriaListsShowWholeRowsAndScrollToTheRest) {
  m_page.show();
  uitest::Pump();
  for (const int id : {SaveingOptionDlg::kMailList, SaveingOptionDlg::kContactList}) {
    auto* list = m_page.DlgItem<QTreeWidget>(id);
    const int nViewport = list->viewport()->height();
    for (const bool bAtEnd : {false, true}) {
      if (bAtEnd) list->scrollToItem(list->topLevelItem(list->topLevelItemCount() - 1));
      uitest::Pump();
      int nWhole = 0;
      for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QRect rect = list->visualItemRect(list->topLevelItem(i));
        if (rect.bottom() < 0 || rect.top() >= nViewport) continue;
        // A row shown is shown whole; what is left below the last whole
        // row is less than a pixel per row.
        const bool bWhole = rect.top() >= 0 && rect.bottom() < nViewport;
        EXPECT_TRUE(bWhole || nViewport - rect.top() < list->topLevelItemCount())
            << id << " row " << i << " at " << rect.top() << ".." << rect.bottom() << " of " << nViewport;
        nWhole += bWhole;
      }
      EXPECT_GE(nWhole, 4) << id;
    }
    EXPECT_FALSE(list->visualItemRect(list->topLevelItem(list->topLevelItemCount() - 1)).isEmpty());
  }
}
