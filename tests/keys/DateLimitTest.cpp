// The date limit between the mail key parts.
#include "tests/keys/KeysFixture.h"

using namespace keystest;

namespace {

DateRange Range(DateTimeValue start, DateTimeValue end) { return DateRange{start, end}; }

}  // namespace

TEST(DateLimit, RangeEndsAreInside) {
  RunSettings s;
  s.m_vecDateRanges = {Range(DateTimeValue(2010, 3, 1, 0, 0, 0), DateTimeValue(2010, 3, 5, 14, 7, 9))};
  EXPECT_TRUE(IsDateInRanges(s, DateTimeValue(2010, 3, 1, 0, 0, 0)));
  EXPECT_TRUE(IsDateInRanges(s, DateTimeValue(2010, 3, 5, 14, 7, 9)));
  EXPECT_TRUE(IsDateInRanges(s, DateTimeValue(2010, 3, 3, 12, 0, 0)));
  EXPECT_FALSE(IsDateInRanges(s, DateTimeValue(2010, 3, 5, 14, 7, 10)));
  EXPECT_FALSE(IsDateInRanges(s, DateTimeValue(2010, 2, 28, 23, 59, 59)));
}

TEST(DateLimit, InvalidDatesNeverPassAndAnEmptyListPassesAll) {
  RunSettings s;
  EXPECT_TRUE(IsDateInRanges(s, DateTimeValue::Invalid()));  // no ranges: no limit
  s.m_vecDateRanges = {Range(DateTimeValue(1900, 1, 1, 0, 0, 0), DateTimeValue(9999, 12, 31, 23, 59, 59))};
  EXPECT_FALSE(IsDateInRanges(s, DateTimeValue(2011, 2, 30, 0, 0, 0)));
  EXPECT_FALSE(IsDateInRanges(s, DateTimeValue::Null()));
  EXPECT_FALSE(IsDateInRanges(s, DateTimeValue(0, 0, 0, 0, 0, 0)));
}

TEST(DateLimit, AnyOfSeveralRangesLetsTheDatePass) {
  RunSettings s;
  s.m_vecDateRanges = {Range(DateTimeValue(2010, 1, 1, 0, 0, 0), DateTimeValue(2010, 1, 31, 23, 59, 59)),
                       Range(DateTimeValue(2012, 6, 1, 0, 0, 0), DateTimeValue(2012, 6, 30, 23, 59, 59))};
  EXPECT_TRUE(IsDateInRanges(s, DateTimeValue(2012, 6, 30, 23, 59, 59)));
  EXPECT_TRUE(IsDateInRanges(s, DateTimeValue(2010, 1, 15, 8, 0, 0)));
  EXPECT_FALSE(IsDateInRanges(s, DateTimeValue(2011, 1, 15, 8, 0, 0)));
}

TEST(DateLimit, RangeWithAnInvalidStartMatchesOnlyItsEnd) {
  RunSettings s;
  s.m_vecDateRanges = {Range(DateTimeValue::Invalid(), DateTimeValue(2010, 3, 5, 0, 0, 0))};
  EXPECT_TRUE(IsDateInRanges(s, DateTimeValue(2010, 3, 5, 0, 0, 0)));
  EXPECT_FALSE(IsDateInRanges(s, DateTimeValue(2010, 3, 4, 0, 0, 0)));
}

TEST_F(KeysTest, MailOutsideTheLimitGetsNoKey) {
  OpenDatabase(Note(100, Text("Subject", "in") + R"(,{"name":"PostedDate","type":"time","value":"2010-03-05T14:07:09"})") +
               "," + Note(104, Text("Subject", "out") + R"(,{"name":"PostedDate","type":"time","value":"2010-03-05T14:07:10"})") +
               "," + Note(108, Text("Subject", "created"), "2010-03-02T00:00:00"));
  m_s.m_bMailSubject = 1;
  m_s.m_bDateFilter = 1;
  m_s.m_vecDateRanges = {Range(DateTimeValue(2010, 3, 1, 0, 0, 0), DateTimeValue(2010, 3, 5, 14, 7, 9))};

  EXPECT_EQ(MailKey(100), std::u16string(u"mail") + RS + u"in" + US);
  EXPECT_EQ(MailKey(108), std::u16string(u"mail") + RS + u"created" + US);  // by its creation time
  std::u16string key = u"untouched";
  EXPECT_FALSE(BuildMailKey(m_s, Doc(104), key));
  EXPECT_EQ(key, u"untouched");

  // The limit applies only when the switch is exactly 1 and ranges exist.
  m_s.m_bDateFilter = 2;
  EXPECT_EQ(MailKey(104), std::u16string(u"mail") + RS + u"out" + US);
  m_s.m_bDateFilter = 1;
  m_s.m_vecDateRanges.clear();
  EXPECT_EQ(MailKey(104), std::u16string(u"mail") + RS + u"out" + US);
}
