// The date filter's calendar arithmetic: the predefined periods ("Last 1 week
// Items" ... "Last 3 Year Items") computed from one reading of the local
// clock, and the text a date shows in the date-range list
// ("Monday, March 08, 2010").
//
// Plain functions on plain calendar values; no clock, no locale, no Qt.
// Thread-safe. The names of days and months are always English: the list's
// texts are also how two ranges are recognised as the same, so they must not
// change with the user's locale.
#pragma once

#include <optional>
#include <string>

#include "platform/DateTimeValue.h"

namespace dateperiods {

// A local date and time to the second. Valid when its parts form a real
// date (1 <= nMonth <= 12, nDay within the month) and time of day.
struct CivilDateTime {
  int nYear = 0;
  int nMonth = 0;
  int nDay = 0;
  int nHour = 0;
  int nMinute = 0;
  int nSecond = 0;
  bool operator==(const CivilDateTime&) const = default;
};

struct CivilRange {
  CivilDateTime start;
  CivilDateTime end;
  bool operator==(const CivilRange&) const = default;
};

// Number of entries of the period list; index 0 is "All Time".
inline constexpr int kPeriodCount = 10;
// The period list's texts, by index.
const char16_t* PeriodText(int nIndex);

[[nodiscard]] bool IsLeapYear(int nYear);
[[nodiscard]] int DaysInMonth(int nYear, int nMonth);
// 1 = Sunday ... 7 = Saturday.
[[nodiscard]] int DayOfWeek(int nYear, int nMonth, int nDay);
// Whole days earlier, the time of day kept.
[[nodiscard]] CivilDateTime MinusDays(const CivilDateTime& when, int nDays);

// The single range of predefined period nIndex (1 to 9) at the instant now.
// Weeks end on the most recent Sunday (today on a Sunday) at now's time of
// day and start on a Monday; months and years cover whole calendar months
// or years up to the end of the last one, both ends at midnight (the end is
// the beginning of the last day). Index 0 ("All Time") and any index out of
// range give no range.
[[nodiscard]] std::optional<CivilRange> PredefinedPeriod(int nIndex, const CivilDateTime& now);

// "%A, %B %d, %Y" with English names: "Monday, March 08, 2010".
[[nodiscard]] std::u16string FormatListDate(const CivilDateTime& when);

// Bridges to the run settings' value type. Inline so that code which only
// does calendar arithmetic does not need the value type's implementation.
inline DateTimeValue ToDateTimeValue(const CivilDateTime& when) {
  return DateTimeValue(when.nYear, when.nMonth, when.nDay, when.nHour, when.nMinute,
                       when.nSecond);
}

inline DateRange ToDateRange(const CivilRange& range) {
  return DateRange{ToDateTimeValue(range.start), ToDateTimeValue(range.end)};
}

inline CivilDateTime FromDateTimeValue(const DateTimeValue& value) {
  return CivilDateTime{value.GetYear(), value.GetMonth(),  value.GetDay(),
                       value.GetHour(), value.GetMinute(), value.GetSecond()};
}

// The list text of a value: "Invalid DateTime" for an invalid one, the empty
// text for a null one.
inline std::u16string FormatListDate(const DateTimeValue& value) {
  switch (value.GetStatus()) {
  case DateTimeValue::invalid:
    return u"Invalid DateTime";
  case DateTimeValue::null:
    return u"";
  case DateTimeValue::valid:
    break;
  }
  return FormatListDate(FromDateTimeValue(value));
}

}  // namespace dateperiods
