// The search scope and date filter page, driven through its controls.
#include "ui/pages/OptionDlg.h"

#include <QAbstractButton>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "engine/RunSettings.h"
#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"
#include "ui/pages/SaveingOptionDlg.h"

namespace {

class OptionPage : public testsupport::TempDirTest {
protected:
  OptionPage() : m_page(m_settings, nullptr) {
    OptionDlg::SetClockForTests([] { return dateperiods::CivilDateTime{2010, 3, 17, 14, 5, 0}; });
    EXPECT_TRUE(m_page.Create());
  }
  ~OptionPage() override {
    OptionDlg::SetClockForTests({});
    uitest::Pump();
  }

  void Click(int id) { m_page.DlgItem<QAbstractButton>(id)->click(); }
  std::vector<uitest::SeenBox> ClickAnswering(int id) {
    return uitest::AnswerMessageBoxes([&] { Click(id); });
  }
  bool Enabled(int id) const { return m_page.GetDlgItem(id)->isEnabled(); }
  bool Checked(int id) const { return m_page.IsDlgButtonChecked(id); }
  QTreeWidget* List() const { return m_page.DlgItem<QTreeWidget>(OptionDlg::kRangeList); }
  void Pick(int id, int y, int m, int d) {
    m_page.DlgItem<QDateEdit>(id)->setDate(QDate(y, m, d));
  }
  void ChooseManual() {
    Click(OptionDlg::kDateRange);
    Click(OptionDlg::kManual);
  }
  void AddRange(int y1, int m1, int d1, int y2, int m2, int d2) {
    Pick(OptionDlg::kStartDate, y1, m1, d1);
    Pick(OptionDlg::kEndDate, y2, m2, d2);
    Click(OptionDlg::kAdd);
  }
  void SelectRow(int nRow) {
    List()->setCurrentItem(List()->topLevelItem(nRow), 0, QItemSelectionModel::ClearAndSelect);
  }

  RunSettings m_settings;
  OptionDlg m_page;
};

}  // namespace

TEST_F(OptionPage, FreshPageShowsDefaultsAndNextStoresThem) {
  EXPECT_TRUE(Checked(OptionDlg::kSameFolder));
  EXPECT_FALSE(Checked(OptionDlg::kAcrossFile));
  EXPECT_TRUE(Checked(OptionDlg::kExcludeAll));
  EXPECT_FALSE(Checked(OptionDlg::kTimeFormatHM));
  EXPECT_FALSE(Checked(OptionDlg::kDateRange));
  for (int id : {OptionDlg::kPredefined, OptionDlg::kPeriodCombo, OptionDlg::kManual,
                 OptionDlg::kStartDate, OptionDlg::kEndDate, OptionDlg::kRangeList,
                 OptionDlg::kAdd, OptionDlg::kRemove}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
  auto* combo = m_page.DlgItem<QComboBox>(OptionDlg::kPeriodCombo);
  EXPECT_EQ(combo->currentText(), "All Time");
  EXPECT_EQ(combo->count(), 10);
  EXPECT_EQ(combo->itemText(9), "Last 3 Year Items");
  EXPECT_EQ(List()->headerItem()->text(0), "Start Date");
  EXPECT_EQ(List()->headerItem()->text(1), "End Date");

  m_settings.m_bSameFolderScope = 0;
  m_settings.m_vecDateRanges.push_back({DateTimeValue(2001, 1, 1, 0, 0, 0), DateTimeValue(2001, 1, 2, 0, 0, 0)});
  EXPECT_TRUE(ClickAnswering(1002).empty());
  EXPECT_EQ(m_settings.m_bSameFolderScope, 1);
  EXPECT_EQ(m_settings.m_bExcludeAllFolder, 1);
  EXPECT_EQ(m_settings.m_bTimeFormatHM, 0);
  EXPECT_EQ(m_settings.m_bDateFilter, 0);
  EXPECT_TRUE(m_settings.m_vecDateRanges.empty());
  EXPECT_NE(dynamic_cast<SaveingOptionDlg*>(m_page.NextPage()), nullptr);
}

TEST_F(OptionPage, ScopeRadiosStayExclusive) {
  Click(OptionDlg::kAcrossFile);
  EXPECT_FALSE(Checked(OptionDlg::kSameFolder));
  EXPECT_TRUE(Checked(OptionDlg::kAcrossFile));
  Click(OptionDlg::kTimeFormatHM);
  Click(OptionDlg::kExcludeAll);
  ClickAnswering(1002);
  EXPECT_EQ(m_settings.m_bSameFolderScope, 0);
  EXPECT_EQ(m_settings.m_bExcludeAllFolder, 0);
  EXPECT_EQ(m_settings.m_bTimeFormatHM, 1);
}

TEST_F(OptionPage, DateRangeWithAllTimeFiltersWithoutARange) {
  Click(OptionDlg::kDateRange);
  EXPECT_TRUE(Enabled(OptionDlg::kPeriodCombo));
  EXPECT_FALSE(Enabled(OptionDlg::kAdd));
  EXPECT_TRUE(ClickAnswering(1002).empty());
  EXPECT_EQ(m_settings.m_bDateFilter, 1);
  EXPECT_TRUE(m_settings.m_vecDateRanges.empty());
}

TEST_F(OptionPage, LastWeekOnAWednesdayEndsOnSundayAtTheCurrentTime) {
  Click(OptionDlg::kDateRange);
  m_page.DlgItem<QComboBox>(OptionDlg::kPeriodCombo)->setCurrentIndex(1);
  ClickAnswering(1002);
  ASSERT_EQ(m_settings.m_vecDateRanges.size(), 1u);
  EXPECT_TRUE(m_settings.m_vecDateRanges[0].dtStart == DateTimeValue(2010, 3, 8, 14, 5, 0));
  EXPECT_TRUE(m_settings.m_vecDateRanges[0].dtEnd == DateTimeValue(2010, 3, 14, 14, 5, 0));
}

TEST_F(OptionPage, TypedTextThatNamesNoPeriodIsNoSelection) {
  Click(OptionDlg::kDateRange);
  auto* combo = m_page.DlgItem<QComboBox>(OptionDlg::kPeriodCombo);
  combo->setCurrentIndex(7);
  combo->setEditText("Last 5 Year Items");
  ClickAnswering(1002);
  EXPECT_EQ(m_settings.m_bDateFilter, 1);
  EXPECT_TRUE(m_settings.m_vecDateRanges.empty());
}

TEST_F(OptionPage, CheckingTheDateGroupAgainReturnsToPredefinedMode) {
  ChooseManual();
  EXPECT_TRUE(Enabled(OptionDlg::kAdd));
  EXPECT_FALSE(Enabled(OptionDlg::kPeriodCombo));
  EXPECT_FALSE(Checked(OptionDlg::kPredefined));
  Click(OptionDlg::kDateRange);  // off: everything disabled
  EXPECT_FALSE(Enabled(OptionDlg::kManual));
  EXPECT_FALSE(Enabled(OptionDlg::kAdd));
  Click(OptionDlg::kDateRange);  // on again
  EXPECT_TRUE(Checked(OptionDlg::kPredefined));
  EXPECT_FALSE(Checked(OptionDlg::kManual));
  EXPECT_TRUE(Enabled(OptionDlg::kPeriodCombo));
  EXPECT_FALSE(Enabled(OptionDlg::kStartDate));
  EXPECT_FALSE(Enabled(OptionDlg::kRemove));
}

TEST_F(OptionPage, AddAcceptsAnEqualEndRefusesAnEarlierOneAndIgnoresARepeat) {
  ChooseManual();
  AddRange(2010, 3, 8, 2010, 3, 8);
  ASSERT_EQ(List()->topLevelItemCount(), 1);
  EXPECT_EQ(List()->topLevelItem(0)->text(0), "Monday, March 08, 2010");
  EXPECT_EQ(List()->topLevelItem(0)->text(1), "Monday, March 08, 2010");

  Pick(OptionDlg::kStartDate, 2010, 3, 9);
  Pick(OptionDlg::kEndDate, 2010, 3, 8);
  auto boxes = ClickAnswering(OptionDlg::kAdd);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "End date should be greater than Start date");
  EXPECT_EQ(boxes[0].caption, "Tarnwick v1.0");
  EXPECT_EQ(boxes[0].icon, QMessageBox::Information);

  AddRange(2010, 3, 8, 2010, 3, 8);
  EXPECT_EQ(List()->topLevelItemCount(), 1);
  EXPECT_EQ(m_settings.m_vecDateRanges.size(), 1u);
  EXPECT_EQ(m_page.ListRanges().size(), 1u);
}

TEST_F(OptionPage, ManualNextStoresTheListsRowsWithTheTimeOfOpening) {
  ChooseManual();
  AddRange(2010, 1, 1, 2010, 1, 31);
  AddRange(2011, 2, 1, 2011, 2, 28);
  ClickAnswering(1002);
  ASSERT_EQ(m_settings.m_vecDateRanges.size(), 2u);
  const DateTimeValue& start = m_settings.m_vecDateRanges[1].dtStart;
  EXPECT_EQ(start.GetYear(), 2011);
  EXPECT_EQ(start.GetMonth(), 2);
  EXPECT_EQ(start.GetDay(), 1);
  // Both ends carry the page's opening time (the fixture's clock: 14:05:00).
  for (const DateTimeValue& end : {start, m_settings.m_vecDateRanges[1].dtEnd}) {
    EXPECT_EQ(end.GetHour(), 14);
    EXPECT_EQ(end.GetMinute(), 5);
    EXPECT_EQ(end.GetSecond(), 0);
  }
}

TEST_F(OptionPage, DatePickersOpenTheirCalendarsRightAligned) {
  ChooseManual();
  m_page.move(400, 100);
  m_page.show();
  for (int id : {OptionDlg::kStartDate, OptionDlg::kEndDate}) {
    auto* date = m_page.DlgItem<QDateEdit>(id);
    QTest::mouseClick(date, Qt::LeftButton, {}, QPoint(date->width() - 4, date->height() / 2));
    QWidget* popup = date->calendarWidget()->window();
    ASSERT_TRUE(popup->isVisible()) << id;
    EXPECT_EQ(popup->geometry().right(), date->mapToGlobal(QPoint(date->width() - 1, 0)).x()) << id;
    EXPECT_GT(popup->width(), date->width());
    popup->hide();
  }
}

TEST_F(OptionPage, ManualModeWithAnEmptyListStaysOnThePage) {
  ChooseManual();
  auto boxes = ClickAnswering(1002);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Please enter date range to continue");
  EXPECT_EQ(m_page.NextPage(), nullptr);
}

TEST_F(OptionPage, RemoveTakesTheMarkedRowFromListAndRanges) {
  ChooseManual();
  AddRange(2010, 1, 1, 2010, 1, 2);
  AddRange(2010, 2, 1, 2010, 2, 2);
  AddRange(2010, 3, 1, 2010, 3, 2);
  Click(OptionDlg::kRemove);  // no selection mark: nothing
  EXPECT_EQ(List()->topLevelItemCount(), 3);
  SelectRow(1);
  Click(OptionDlg::kRemove);
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(List()->topLevelItem(1)->text(0), "Monday, March 01, 2010");
  ASSERT_EQ(m_settings.m_vecDateRanges.size(), 2u);
  EXPECT_EQ(m_settings.m_vecDateRanges[1].dtStart.GetMonth(), 3);
  ASSERT_EQ(m_page.ListRanges().size(), 2u);
  EXPECT_EQ(m_page.ListRanges()[0].dtStart.GetMonth(), 1);
}

TEST_F(OptionPage, RemoveWithSeveralRowsSelectedTakesOnlyTheMarkedOne) {
  ChooseManual();
  AddRange(2010, 1, 1, 2010, 1, 2);
  AddRange(2010, 2, 1, 2010, 2, 2);
  AddRange(2010, 3, 1, 2010, 3, 2);
  List()->topLevelItem(0)->setSelected(true);
  List()->setCurrentItem(List()->topLevelItem(2), 0, QItemSelectionModel::Select);
  Click(OptionDlg::kRemove);
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(List()->topLevelItem(0)->text(0), "Friday, January 01, 2010");
  EXPECT_EQ(List()->topLevelItem(1)->text(0), "Monday, February 01, 2010");
  EXPECT_EQ(m_settings.m_vecDateRanges.size(), 2u);
}

TEST_F(OptionPage, RemoveAfterTheRangesWereReplacedNeverErasesBeyondThem) {
  ChooseManual();
  AddRange(2010, 1, 1, 2010, 1, 2);
  AddRange(2010, 2, 1, 2010, 2, 2);
  // An earlier predefined Next (or the criteria page's Back to here after
  // one) left a single computed range.
  m_settings.m_vecDateRanges = {{DateTimeValue(2009, 1, 1, 0, 0, 0), DateTimeValue(2009, 12, 31, 0, 0, 0)}};
  SelectRow(1);
  Click(OptionDlg::kRemove);
  EXPECT_EQ(List()->topLevelItemCount(), 1);
  ASSERT_EQ(m_settings.m_vecDateRanges.size(), 1u);
  // And Next puts the run settings back in step with the list.
  ClickAnswering(1002);
  ASSERT_EQ(m_settings.m_vecDateRanges.size(), 1u);
  EXPECT_EQ(m_settings.m_vecDateRanges[0].dtStart.GetYear(), 2010);
}

TEST_F(OptionPage, UncheckingTheDateGroupEmptiesRangesButKeepsRows) {
  ChooseManual();
  AddRange(2010, 1, 1, 2010, 1, 2);
  Click(OptionDlg::kDateRange);
  ClickAnswering(1002);
  EXPECT_EQ(m_settings.m_bDateFilter, 0);
  EXPECT_TRUE(m_settings.m_vecDateRanges.empty());
  EXPECT_EQ(List()->topLevelItemCount(), 1);
}

TEST_F(OptionPage, BackEmptiesTheSourcesThePreviousPageFilled) {
  m_settings.m_vecSelectedFolders.push_back(FolderRecord{u"($Inbox)", 8, 1});
  m_settings.m_vecFilePaths.push_back(u"/a.nsf");
  Click(1009);
  EXPECT_TRUE(m_settings.m_vecSelectedFolders.empty());
  EXPECT_EQ(m_settings.m_vecFilePaths.size(), 1u);

  m_settings.m_bMultipleFiles = 1;
  m_settings.m_vecSelectedFolders.push_back(FolderRecord{u"($Inbox)", 8, 1});
  Click(1009);
  EXPECT_TRUE(m_settings.m_vecFilePaths.empty());
  EXPECT_EQ(m_settings.m_vecSelectedFolders.size(), 1u);
}
