// The decisions of the options and criteria pages, without their widgets.
#include "ui/pages/OptionDlgRules.h"
#include "ui/pages/SaveingOptionDlgRules.h"

#include <gtest/gtest.h>

using dateperiods::CivilDateTime;

namespace {

const CivilDateTime kWednesday{2010, 3, 17, 14, 5, 0};

DateRange Range(int y1, int m1, int d1, int y2, int m2, int d2) {
  return DateRange{DateTimeValue(y1, m1, d1, 9, 0, 0), DateTimeValue(y2, m2, d2, 9, 0, 0)};
}

}  // namespace

TEST(OptionNext, FreshChoicesStoreTheDefaults) {
  RunSettings s;
  s.m_vecDateRanges.push_back(Range(2010, 1, 1, 2010, 1, 2));
  EXPECT_FALSE(optionrules::ApplyOptionNext(s, {}, kWednesday).has_value());
  EXPECT_EQ(s.m_bSameFolderScope, 1);
  EXPECT_EQ(s.m_bExcludeAllFolder, 1);
  EXPECT_EQ(s.m_bTimeFormatHM, 0);
  EXPECT_EQ(s.m_bDateFilter, 0);
  EXPECT_TRUE(s.m_vecDateRanges.empty());
}

TEST(OptionNext, AllTimeTurnsTheFilterOnWithoutARange) {
  RunSettings s;
  optionrules::OptionChoices c;
  c.bDateFilter = true;
  c.nPeriodIndex = 0;
  EXPECT_FALSE(optionrules::ApplyOptionNext(s, c, kWednesday).has_value());
  EXPECT_EQ(s.m_bDateFilter, 1);
  EXPECT_TRUE(s.m_vecDateRanges.empty());
}

TEST(OptionNext, PredefinedPeriodReplacesEarlierRanges) {
  RunSettings s;
  s.m_vecDateRanges.push_back(Range(2001, 1, 1, 2001, 1, 2));
  optionrules::OptionChoices c;
  c.bDateFilter = true;
  c.nPeriodIndex = 1;
  ASSERT_FALSE(optionrules::ApplyOptionNext(s, c, kWednesday).has_value());
  ASSERT_EQ(s.m_vecDateRanges.size(), 1u);
  EXPECT_TRUE(s.m_vecDateRanges[0].dtStart == DateTimeValue(2010, 3, 8, 14, 5, 0));
  EXPECT_TRUE(s.m_vecDateRanges[0].dtEnd == DateTimeValue(2010, 3, 14, 14, 5, 0));
}

TEST(OptionNext, ManualModeStoresExactlyTheListsRows) {
  RunSettings s;
  // Left over from an earlier predefined Next: must not survive.
  s.m_vecDateRanges.push_back(Range(2001, 1, 1, 2001, 1, 2));
  optionrules::OptionChoices c;
  c.bDateFilter = true;
  c.bPredefinedMode = false;
  c.vecListRanges = {Range(2010, 1, 1, 2010, 1, 5), Range(2010, 2, 1, 2010, 2, 5)};
  ASSERT_FALSE(optionrules::ApplyOptionNext(s, c, kWednesday).has_value());
  ASSERT_EQ(s.m_vecDateRanges.size(), 2u);
  EXPECT_TRUE(s.m_vecDateRanges[1].dtStart == DateTimeValue(2010, 2, 1, 9, 0, 0));
}

TEST(OptionNext, ManualModeWithAnEmptyListRefusesEvenWithStoredRanges) {
  RunSettings s;
  s.m_vecDateRanges.push_back(Range(2001, 1, 1, 2001, 1, 2));
  optionrules::OptionChoices c;
  c.bDateFilter = true;
  c.bPredefinedMode = false;
  c.bSameFolderScope = false;
  auto message = optionrules::ApplyOptionNext(s, c, kWednesday);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(*message, u"Please enter date range to continue");
  EXPECT_EQ(s.m_bSameFolderScope, 0);  // written before the check
  EXPECT_EQ(s.m_bDateFilter, 1);
}

TEST(OptionAdd, EndEqualToStartIsAcceptedEndBeforeStartRefused) {
  const DateTimeValue start(2010, 3, 8, 14, 5, 0);
  EXPECT_EQ(optionrules::CheckAddRange(start, start, {}), optionrules::AddVerdict::add);
  EXPECT_EQ(optionrules::CheckAddRange(start, DateTimeValue(2010, 3, 8, 14, 4, 59), {}),
            optionrules::AddVerdict::endBeforeStart);
}

TEST(OptionAdd, SameDaysAtAnotherTimeCountAsListed) {
  const std::vector<optionrules::ListRow> rows = {
      {u"Monday, March 08, 2010", u"Sunday, March 14, 2010"}};
  EXPECT_EQ(optionrules::CheckAddRange(DateTimeValue(2010, 3, 8, 1, 0, 0),
                                       DateTimeValue(2010, 3, 14, 23, 0, 0), rows),
            optionrules::AddVerdict::alreadyListed);
  EXPECT_EQ(optionrules::CheckAddRange(DateTimeValue(2010, 3, 8, 1, 0, 0),
                                       DateTimeValue(2010, 3, 15, 1, 0, 0), rows),
            optionrules::AddVerdict::add);
}

namespace {

criteriarules::CriteriaChoices AllChecked() {
  criteriarules::CriteriaChoices c;
  c.strSavingPath = u"/srv/clean";
  c.vecMailRows.assign(6, true);
  c.vecContactRows.assign(7, true);
  return c;
}

}  // namespace

TEST(CriteriaNext, NewFileModeWithoutPathRefusesAfterClearingModifyOriginal) {
  RunSettings s;
  s.m_bModifyOriginal = 1;
  auto c = AllChecked();
  c.strSavingPath.clear();
  EXPECT_EQ(criteriarules::ApplyCriteriaNext(s, c), u"Please browse saving location to continue.");
  EXPECT_EQ(s.m_bModifyOriginal, 0);
  EXPECT_EQ(s.m_bMailSubject, 0);  // later steps did not run
}

TEST(CriteriaNext, DeleteAndTrashNeverAskForAFolderName) {
  for (int nAction : {0, 1}) {
    RunSettings s;
    auto c = AllChecked();
    c.bNewFiles = false;
    c.nAction = nAction;
    c.strSubFolder = u"Ignored";
    EXPECT_FALSE(criteriarules::ApplyCriteriaNext(s, c).has_value());
    EXPECT_EQ(s.m_nAction, nAction);
    EXPECT_EQ(s.m_bModifyOriginal, 1);
    EXPECT_TRUE(s.m_strSubFolderName.empty());
    EXPECT_TRUE(s.m_strNewNsfFolder.empty());
  }
}

TEST(CriteriaNext, MoveAndCopyNeedAFolderName) {
  RunSettings s;
  auto c = AllChecked();
  c.bNewFiles = false;
  c.nAction = 2;
  EXPECT_EQ(criteriarules::ApplyCriteriaNext(s, c), u"Please enter Folder name of sub folder");
  EXPECT_EQ(s.m_nAction, 0);  // stored only after the name check
  c.nAction = 3;
  c.strSubFolder = u"Dups";
  EXPECT_FALSE(criteriarules::ApplyCriteriaNext(s, c).has_value());
  EXPECT_EQ(s.m_nAction, 3);
  EXPECT_EQ(s.m_strSubFolderName, u"Dups");
}

TEST(CriteriaNext, MiddleAndLastNameMapCrosswise) {
  RunSettings s;
  auto c = AllChecked();
  c.vecContactRows[1] = false;  // "Middle Name"
  ASSERT_FALSE(criteriarules::ApplyCriteriaNext(s, c).has_value());
  EXPECT_EQ(s.m_bContactMiddleName, 0);
  EXPECT_EQ(s.m_bContactLastName, 1);
  EXPECT_EQ(s.m_bContactFirstName, 1);
  EXPECT_EQ(s.m_bContactCompany, 1);
}

TEST(CriteriaNext, MessagesComeInTheirOrder) {
  RunSettings s;
  auto c = AllChecked();
  c.vecMailRows.assign(6, false);
  c.vecContactRows.assign(7, false);
  // Mail is checked first and its message wins.
  EXPECT_EQ(criteriarules::ApplyCriteriaNext(s, c), criteriarules::kNoMailCriteria);
  // Valid mail rows, no contact rows: the contacts message.
  c.vecMailRows[0] = true;
  EXPECT_EQ(criteriarules::ApplyCriteriaNext(s, c), criteriarules::kNoContactCriteria);
  // The contact group off: its rows are ignored.
  c.bContactCriteria = false;
  EXPECT_FALSE(criteriarules::ApplyCriteriaNext(s, c).has_value());
  EXPECT_EQ(s.m_bContactCriteria, 0);
  // Both groups off: the generic message.
  c.bMailCriteria = false;
  EXPECT_EQ(criteriarules::ApplyCriteriaNext(s, c), criteriarules::kNoMailCriteria);
  EXPECT_EQ(s.m_bMailCriteria, 0);
}

TEST(CriteriaNext, SwitchedOffGroupKeepsItsBytes) {
  RunSettings s;
  s.m_bMailBody = 1;
  auto c = AllChecked();
  c.bMailCriteria = false;
  c.vecMailRows.assign(6, false);
  ASSERT_FALSE(criteriarules::ApplyCriteriaNext(s, c).has_value());
  EXPECT_EQ(s.m_bMailBody, 1);
  EXPECT_EQ(s.m_bMailCriteria, 0);
}
