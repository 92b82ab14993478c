#include "engine/DatePeriods.h"

#include <cstdio>

namespace dateperiods {
namespace {

const char16_t* const kPeriodTexts[kPeriodCount] = {
    u"All Time",          u"Last 1 week Items",  u"Last 2 week Items", u"Last 3 week Items",
    u"Last 3 month Items", u"Last 6 month Items", u"Last 9 month Items", u"Last 1 Year Items",
    u"Last 2 Year Items",  u"Last 3 Year Items"};

const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[12] = {"January", "February", "March",     "April",
                                     "May",     "June",     "July",      "August",
                                     "September", "October", "November", "December"};

// Days since 1 January 1970 of a proleptic Gregorian date (valid for any
// year, negative results before 1970).
long long DaysFromCivil(int nYear, int nMonth, int nDay) {
  const long long y = static_cast<long long>(nYear) - (nMonth <= 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long mp = (nMonth + 9) % 12;  // March = 0
  const long long doy = (153 * mp + 2) / 5 + nDay - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int* pYear, int* pMonth, int* pDay) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  *pYear = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  *pMonth = static_cast<int>(m);
  *pDay = static_cast<int>(d);
}

CivilDateTime Midnight(int nYear, int nMonth, int nDay) {
  return CivilDateTime{nYear, nMonth, nDay, 0, 0, 0};
}

// The last day of last month at 00:00:00: the common end of the month periods.
CivilDateTime EndOfLastMonth(const CivilDateTime& now) {
  return MinusDays(Midnight(now.nYear, now.nMonth, 1), 1);
}

// Day 1 of the month nMonthsBack months before now's month, at midnight.
CivilDateTime FirstOfMonthsBack(const CivilDateTime& now, int nMonthsBack) {
  int nMonth = now.nMonth - nMonthsBack;
  int nYear = now.nYear;
  while (nMonth <= 0) {
    nMonth += 12;
    --nYear;
  }
  return Midnight(nYear, nMonth, 1);
}

}  // namespace

const char16_t* PeriodText(int nIndex) {
  if (nIndex < 0 || nIndex >= kPeriodCount) {
    return u"";
  }
  return kPeriodTexts[nIndex];
}

bool IsLeapYear(int nYear) {
  return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}

int DaysInMonth(int nYear, int nMonth) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (nMonth < 1 || nMonth > 12) {
    return 0;
  }
  return nMonth == 2 && IsLeapYear(nYear) ? 29 : kDays[nMonth - 1];
}

int DayOfWeek(int nYear, int nMonth, int nDay) {
  // 1 January 1970 was a Thursday (index 4 counting Sunday as 0).
  const long long z = DaysFromCivil(nYear, nMonth, nDay);
  const long long sundayBased = ((z + 4) % 7 + 7) % 7;
  return static_cast<int>(sundayBased) + 1;
}

CivilDateTime MinusDays(const CivilDateTime& when, int nDays) {
  CivilDateTime result = when;
  CivilFromDays(DaysFromCivil(when.nYear, when.nMonth, when.nDay) - nDays, &result.nYear,
                &result.nMonth, &result.nDay);
  return result;
}

std::optional<CivilRange> PredefinedPeriod(int nIndex, const CivilDateTime& now) {
  const int w = DayOfWeek(now.nYear, now.nMonth, now.nDay);
  const CivilDateTime lastSunday = MinusDays(now, w - 1);
  switch (nIndex) {
  case 1:
    return CivilRange{MinusDays(now, w + 5), lastSunday};
  case 2:
    return CivilRange{MinusDays(now, w + 12), lastSunday};
  case 3:
    return CivilRange{MinusDays(now, w + 19), lastSunday};
  case 4:
    return CivilRange{FirstOfMonthsBack(now, 3), EndOfLastMonth(now)};
  case 5:
    return CivilRange{FirstOfMonthsBack(now, 6), EndOfLastMonth(now)};
  case 6:
    return CivilRange{FirstOfMonthsBack(now, 9), EndOfLastMonth(now)};
  case 7:
  case 8:
  case 9:
    return CivilRange{Midnight(now.nYear - (nIndex - 6), 1, 1), Midnight(now.nYear - 1, 12, 31)};
  default:
    return std::nullopt;
  }
}

std::u16string FormatListDate(const CivilDateTime& when) {
  if (when.nMonth < 1 || when.nMonth > 12 || when.nDay < 1 ||
      when.nDay > DaysInMonth(when.nYear, when.nMonth)) {
    return u"Invalid DateTime";
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %s %02d, %d",
                kDayNames[DayOfWeek(when.nYear, when.nMonth, when.nDay) - 1],
                kMonthNames[when.nMonth - 1], when.nDay, when.nYear);
  std::u16string text;
  for (const char* p = buf; *p != '\0'; ++p) {
    text.push_back(static_cast<char16_t>(*p));
  }
  return text;
}

}  // namespace dateperiods
