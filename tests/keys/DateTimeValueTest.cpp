#include <gtest/gtest.h>

#include "platform/DateTimeValue.h"

using platform::SystemTime;

TEST(DateTimeValue, PartsGiveTheOleDateAndBack) {
  const DateTimeValue v(2010, 3, 5, 14, 7, 9);
  ASSERT_TRUE(v.IsValid());
  // 5 March 2010 is day 40242 after 30 December 1899.
  EXPECT_NEAR(v.GetOleDate(), 40242 + (14 * 3600 + 7 * 60 + 9) / 86400.0, 1e-9);
  EXPECT_EQ(v.GetYear(), 2010);
  EXPECT_EQ(v.GetMonth(), 3);
  EXPECT_EQ(v.GetDay(), 5);
  EXPECT_EQ(v.GetHour(), 14);
  EXPECT_EQ(v.GetMinute(), 7);
  EXPECT_EQ(v.GetSecond(), 9);
  EXPECT_EQ(v.GetDayOfWeek(), 6);  // a Friday
  EXPECT_EQ(DateTimeValue().GetDayOfWeek(), 7);  // 30 December 1899, a Saturday
}

TEST(DateTimeValue, PartsThatAreNoRealDateAreInvalid) {
  EXPECT_FALSE(DateTimeValue(2011, 2, 29, 0, 0, 0).IsValid());
  EXPECT_TRUE(DateTimeValue(2012, 2, 29, 0, 0, 0).IsValid());
  EXPECT_FALSE(DateTimeValue(1900, 2, 29, 0, 0, 0).IsValid());
  EXPECT_TRUE(DateTimeValue(2000, 2, 29, 0, 0, 0).IsValid());
  EXPECT_FALSE(DateTimeValue(2010, 13, 1, 0, 0, 0).IsValid());
  EXPECT_FALSE(DateTimeValue(2010, 4, 31, 0, 0, 0).IsValid());
  EXPECT_FALSE(DateTimeValue(2010, 1, 1, 24, 0, 0).IsValid());
  EXPECT_FALSE(DateTimeValue(2010, 1, 1, 0, 60, 0).IsValid());
  EXPECT_FALSE(DateTimeValue(2010, 1, 1, 0, 0, 60).IsValid());
  EXPECT_FALSE(DateTimeValue(0, 0, 0, 0, 0, 0).IsValid());
  EXPECT_EQ(DateTimeValue(0, 0, 0, 0, 0, 0).GetStatus(), DateTimeValue::invalid);
  EXPECT_EQ(DateTimeValue(2010, 13, 1, 0, 0, 0).GetYear(), -1);
}

TEST(DateTimeValue, DatesBeforeTheEpochCountTheTimeForwards) {
  // 29 December 1899, 06:00 is -1.25: the day backwards, the hour forwards.
  const DateTimeValue v(1899, 12, 29, 6, 0, 0);
  EXPECT_DOUBLE_EQ(v.GetOleDate(), -1.25);
  EXPECT_EQ(v.GetDay(), 29);
  EXPECT_EQ(v.GetHour(), 6);
  EXPECT_TRUE(DateTimeValue(1899, 12, 29, 5, 0, 0) < v);
  EXPECT_TRUE(v < DateTimeValue(1899, 12, 29, 7, 0, 0));
  EXPECT_TRUE(v < DateTimeValue(1899, 12, 30, 0, 0, 0));
}

TEST(DateTimeValue, SubtractingDaysKeepsTheTimeOfDay) {
  const DateTimeValue v(2010, 3, 1, 14, 7, 9);
  const DateTimeValue earlier = v.MinusDays(1);
  EXPECT_EQ(earlier.GetYear(), 2010);
  EXPECT_EQ(earlier.GetMonth(), 2);
  EXPECT_EQ(earlier.GetDay(), 28);
  EXPECT_EQ(earlier.GetHour(), 14);
  EXPECT_EQ(earlier.GetSecond(), 9);
  EXPECT_TRUE(earlier == DateTimeValue(2010, 2, 28, 14, 7, 9));
  // Across the epoch the time of day stays as well.
  EXPECT_TRUE(DateTimeValue(1899, 12, 31, 6, 0, 0).MinusDays(2) == DateTimeValue(1899, 12, 29, 6, 0, 0));
  EXPECT_FALSE(DateTimeValue::Invalid().MinusDays(1).IsValid());
}

TEST(DateTimeValue, ComparisonsFollowStatusRules) {
  const DateTimeValue a(2011, 2, 1, 9, 5, 0);
  const DateTimeValue b(2011, 2, 1, 9, 5, 1);
  EXPECT_TRUE(a < b);
  EXPECT_TRUE(b > a);
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a == DateTimeValue(2011, 2, 1, 9, 5, 0));

  const DateTimeValue invalid = DateTimeValue::Invalid();
  const DateTimeValue null = DateTimeValue::Null();
  for (const DateTimeValue& bad : {invalid, null}) {
    EXPECT_FALSE(bad < a);
    EXPECT_FALSE(a < bad);
    EXPECT_FALSE(bad > a);
    EXPECT_FALSE(a > bad);
    EXPECT_FALSE(a == bad);
  }
  EXPECT_TRUE(null == DateTimeValue::Null());
  EXPECT_FALSE(invalid == DateTimeValue::Invalid());
  EXPECT_FALSE(invalid == null);
}

TEST(DateTimeValue, SystemTimeConversionsRoundToTheSecond) {
  SystemTime st;
  ASSERT_TRUE(platform::VariantTimeToSystemTime(40242.5 + 0.6 / 86400, &st));
  EXPECT_EQ(st.nHour, 12);
  EXPECT_EQ(st.nSecond, 1);
  EXPECT_EQ(st.nDayOfWeek, 5);  // 0 = Sunday

  // 23:59:59.6 rounds into the next day.
  ASSERT_TRUE(platform::VariantTimeToSystemTime(40242 + 86399.6 / 86400, &st));
  EXPECT_EQ(st.nDay, 6);
  EXPECT_EQ(st.nHour, 0);

  double ole = 0;
  st = SystemTime{2010, 3, 0, 5, 14, 7, 9, 500};
  ASSERT_TRUE(platform::SystemTimeToVariantTime(st, &ole));
  EXPECT_TRUE(DateTimeValue(ole) == DateTimeValue(2010, 3, 5, 14, 7, 9));
  st.nMonth = 2;
  st.nDay = 30;
  EXPECT_FALSE(platform::SystemTimeToVariantTime(st, &ole));
  EXPECT_FALSE(platform::VariantTimeToSystemTime(1e12, &st));
  EXPECT_FALSE(DateTimeValue(1e12).ToSystemTime().has_value());
}
