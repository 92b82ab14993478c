// The predefined periods of the date filter and the list's date texts.
#include "engine/DatePeriods.h"

#include <gtest/gtest.h>

using dateperiods::CivilDateTime;
using dateperiods::CivilRange;
using dateperiods::PredefinedPeriod;

namespace {

CivilDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return CivilDateTime{y, mo, d, h, mi, s};
}

CivilRange Period(int nIndex, const CivilDateTime& now) {
  auto range = PredefinedPeriod(nIndex, now);
  EXPECT_TRUE(range.has_value()) << "period " << nIndex;
  return range.value_or(CivilRange{});
}

// Wednesday 17 March 2010, 14:05:00.
const CivilDateTime kWednesday = At(2010, 3, 17, 14, 5, 0);

}  // namespace

TEST(DatePeriods, WeekPeriodsEndOnLastSundayAtTheCurrentTime) {
  EXPECT_EQ(Period(1, kWednesday), (CivilRange{At(2010, 3, 8, 14, 5), At(2010, 3, 14, 14, 5)}));
  EXPECT_EQ(Period(2, kWednesday), (CivilRange{At(2010, 3, 1, 14, 5), At(2010, 3, 14, 14, 5)}));
  EXPECT_EQ(Period(3, kWednesday), (CivilRange{At(2010, 2, 22, 14, 5), At(2010, 3, 14, 14, 5)}));
}

TEST(DatePeriods, OnASundayTheWeekPeriodsEndToday) {
  const CivilDateTime sunday = At(2010, 3, 14, 9, 30, 15);
  EXPECT_EQ(Period(1, sunday), (CivilRange{At(2010, 3, 8, 9, 30, 15), sunday}));
  EXPECT_EQ(Period(3, sunday).start, At(2010, 2, 22, 9, 30, 15));
}

TEST(DatePeriods, OnASaturdayTheWeekEndsTheDayBefore) {
  const CivilDateTime saturday = At(2010, 3, 20, 23, 59, 59);
  EXPECT_EQ(Period(1, saturday), (CivilRange{At(2010, 3, 8, 23, 59, 59), At(2010, 3, 14, 23, 59, 59)}));
}

TEST(DatePeriods, WeekPeriodsCrossTheYearBoundary) {
  // Tuesday 5 January 2010: the last Sunday is 3 January, the week starts on
  // Monday 28 December 2009.
  const CivilDateTime now = At(2010, 1, 5, 8, 0, 0);
  EXPECT_EQ(Period(1, now), (CivilRange{At(2009, 12, 28, 8), At(2010, 1, 3, 8)}));
  EXPECT_EQ(Period(3, now).start, At(2009, 12, 14, 8));
}

TEST(DatePeriods, MonthPeriodsInJanuaryReachIntoLastYear) {
  const CivilDateTime january = At(2010, 1, 20, 11, 11, 11);
  EXPECT_EQ(Period(4, january), (CivilRange{At(2009, 10, 1), At(2009, 12, 31)}));
  EXPECT_EQ(Period(5, january), (CivilRange{At(2009, 7, 1), At(2009, 12, 31)}));
  EXPECT_EQ(Period(6, january), (CivilRange{At(2009, 4, 1), At(2009, 12, 31)}));
}

TEST(DatePeriods, MonthPeriodsInMarchOfALeapYearEndOnTheTwentyNinth) {
  const CivilDateTime march = At(2012, 3, 1, 0, 0, 1);
  EXPECT_EQ(Period(4, march), (CivilRange{At(2011, 12, 1), At(2012, 2, 29)}));
  EXPECT_EQ(Period(5, march), (CivilRange{At(2011, 9, 1), At(2012, 2, 29)}));
  EXPECT_EQ(Period(6, march), (CivilRange{At(2011, 6, 1), At(2012, 2, 29)}));
  // 2100 is not a leap year, 2000 was.
  EXPECT_EQ(Period(4, At(2100, 3, 10)).end, At(2100, 2, 28));
  EXPECT_EQ(Period(4, At(2000, 3, 10)).end, At(2000, 2, 29));
}

TEST(DatePeriods, MonthPeriodsLateInTheYearStayInTheYear) {
  EXPECT_EQ(Period(6, At(2010, 12, 31, 23, 59, 59)), (CivilRange{At(2010, 3, 1), At(2010, 11, 30)}));
  EXPECT_EQ(Period(4, At(2010, 4, 1)), (CivilRange{At(2010, 1, 1), At(2010, 3, 31)}));
}

TEST(DatePeriods, YearPeriodsCoverWholeYearsUpToLastYear) {
  EXPECT_EQ(Period(7, kWednesday), (CivilRange{At(2009, 1, 1), At(2009, 12, 31)}));
  EXPECT_EQ(Period(8, kWednesday), (CivilRange{At(2008, 1, 1), At(2009, 12, 31)}));
  EXPECT_EQ(Period(9, kWednesday), (CivilRange{At(2007, 1, 1), At(2009, 12, 31)}));
}

TEST(DatePeriods, AllTimeAndUnknownIndicesGiveNoRange) {
  EXPECT_FALSE(PredefinedPeriod(0, kWednesday).has_value());
  EXPECT_FALSE(PredefinedPeriod(-1, kWednesday).has_value());
  EXPECT_FALSE(PredefinedPeriod(10, kWednesday).has_value());
}

TEST(DatePeriods, PeriodTextsAreTheListsEntries) {
  EXPECT_EQ(std::u16string(dateperiods::PeriodText(0)), u"All Time");
  EXPECT_EQ(std::u16string(dateperiods::PeriodText(3)), u"Last 3 week Items");
  EXPECT_EQ(std::u16string(dateperiods::PeriodText(4)), u"Last 3 month Items");
  EXPECT_EQ(std::u16string(dateperiods::PeriodText(9)), u"Last 3 Year Items");
}

TEST(DatePeriods, DayOfWeekCountsFromSunday) {
  EXPECT_EQ(dateperiods::DayOfWeek(2010, 3, 14), 1);  // Sunday
  EXPECT_EQ(dateperiods::DayOfWeek(2010, 3, 17), 4);  // Wednesday
  EXPECT_EQ(dateperiods::DayOfWeek(1899, 12, 30), 7);  // Saturday
  EXPECT_EQ(dateperiods::DayOfWeek(2012, 2, 29), 4);   // Wednesday
}

TEST(ListDateText, UsesEnglishNamesAndATwoDigitDay) {
  EXPECT_EQ(dateperiods::FormatListDate(At(2010, 3, 8, 14, 5)), u"Monday, March 08, 2010");
  EXPECT_EQ(dateperiods::FormatListDate(At(2009, 12, 31)), u"Thursday, December 31, 2009");
  EXPECT_EQ(dateperiods::FormatListDate(At(2012, 2, 29)), u"Wednesday, February 29, 2012");
}

TEST(ListDateText, ImpossibleDatesReadInvalid) {
  EXPECT_EQ(dateperiods::FormatListDate(At(2011, 2, 29)), u"Invalid DateTime");
  EXPECT_EQ(dateperiods::FormatListDate(At(2011, 13, 1)), u"Invalid DateTime");
}
