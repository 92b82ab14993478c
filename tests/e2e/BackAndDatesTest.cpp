// The wizard walked forward and back before a run, and a manual date range
// that limits which mail items are judged.
#include <QDateEdit>
#include <QTreeWidget>

#include "tests/e2e/Wizard.h"
#include "ui/pages/Fileinfodlg.h"
#include "ui/pages/OptionDlg.h"
#include "ui/pages/SaveingOptionDlg.h"
#include "ui/pages/progressDlg.h"

using namespace e2e;
using namespace pagerun;

TEST_F(WizardTest, BackAndForthThenAManualRangeLimitsTheRun) {
  const auto db = m_tmp / "ada.nsf";
  // The same report three times; only the first two were posted in March.
  testsupport::MakeDatabase(
      db, Database({Memo(100, "Report", "2010-03-05T10:00:00"),
                    Memo(104, "Report", "2010-03-20T10:00:00"),
                    Memo(108, "Report", "2010-04-02T10:00:00"),
                    Folder(8, "($Inbox)", "100, 104, 108")}));
  const auto clean = m_tmp / "clean";
  std::filesystem::create_directories(clean);

  Type(1000, Q(U(db)));
  Click(1002);
  auto* info = FrontAs<Fileinfodlg>();
  ASSERT_NE(info, nullptr);
  uitest::AnswerMessageBoxes([&] { info->WaitForLoad(); });
  Click(1002);
  const std::vector<FolderRecord> firstFolders = m_settings.m_vecSelectedFolders;
  ASSERT_FALSE(firstFolders.empty());
  // Back to the information page and forward again: the folder list is the
  // same, not appended twice, and the scope page is a fresh one.
  Click(OptionDlg::kDateRange);
  Click(1009);
  EXPECT_EQ(Front(), info);
  EXPECT_TRUE(m_settings.m_vecSelectedFolders.empty());
  Click(1002);
  EXPECT_EQ(m_settings.m_vecSelectedFolders, firstFolders);
  auto* options = FrontAs<OptionDlg>();
  ASSERT_NE(options, nullptr);
  EXPECT_FALSE(options->IsDlgButtonChecked(OptionDlg::kDateRange));

  Click(OptionDlg::kDateRange);
  Click(OptionDlg::kManual);
  options->DlgItem<QDateEdit>(OptionDlg::kStartDate)->setDate(QDate(2010, 3, 1));
  options->DlgItem<QDateEdit>(OptionDlg::kEndDate)->setDate(QDate(2010, 3, 31));
  Click(OptionDlg::kAdd);
  Click(1002);
  auto* criteria = FrontAs<SaveingOptionDlg>();
  ASSERT_NE(criteria, nullptr);
  Type(SaveingOptionDlg::kSavingPath, Q(U(clean)));
  // Dates differ, so the reports are duplicates only without "Date and Time".
  criteria->DlgItem<QTreeWidget>(SaveingOptionDlg::kMailList)->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
  Click(1050);
  ASSERT_NE(FrontAs<progressDlg>(), nullptr);
  // Back to the criteria page (unchanged) and on to a fresh summary.
  Click(1017);
  EXPECT_EQ(Front(), criteria);
  Click(1050);
  progressDlg* page = FrontAs<progressDlg>();
  ASSERT_NE(page, nullptr);
  const auto head = page->LogRows();
  EXPECT_NE(std::find(head.begin(), head.end(), u"Remove Duplicate items in selected Date Range"),
            head.end());
  ASSERT_EQ(m_settings.m_vecDateRanges.size(), 1u);
  EXPECT_EQ(m_settings.m_vecDateRanges[0].dtEnd.GetDay(), 31);

  const auto boxes = StartAndWait(*page);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kCompleted);
  std::vector<std::filesystem::path> copies;
  for (const auto& e : std::filesystem::directory_iterator(clean)) copies.push_back(e.path());
  ASSERT_EQ(copies.size(), 1u);
  // 104 duplicates 100 within the range; 108 lies outside and is not judged.
  EXPECT_EQ(DocumentIds(Dump(copies[0])), (std::set<long long>{100, 108}));
  const RunExpect expect = {{{u"($Inbox)", {{100}, 3, 1}}}};
  EXPECT_EQ(ReadLog(P(page->LogPath())), ExpectedLog(head, expect));
}
