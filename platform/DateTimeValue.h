// A date and time held as an OLE Automation date: days since 30 December 1899
// 00:00, the time of day in the fraction, with a status (valid, invalid,
// null). It is what the date filter's ranges and the mail dates are compared
// as. Plain value; safe to copy between threads.
#pragma once

#include <compare>
#include <optional>

namespace platform {

struct SystemTime {
  int nYear = 0, nMonth = 0, nDayOfWeek = 0, nDay = 0, nHour = 0, nMinute = 0, nSecond = 0,
      nMilliseconds = 0;
};

class DateTimeValue {
public:
  enum Status { valid = 0, invalid = 1, null = 2 };

  DateTimeValue() = default;  // valid, 30 December 1899 00:00:00
  explicit DateTimeValue(double oleDate) : m_dt(oleDate) {}
  // Invalid when the parts do not form a real date and time.
  DateTimeValue(int year, int month, int day, int hour, int minute, int second);
  static DateTimeValue Null();
  static DateTimeValue Invalid();
  static DateTimeValue CurrentTime();  // local time

  Status GetStatus() const { return m_status; }
  bool IsValid() const { return m_status == valid; }
  double GetOleDate() const { return m_dt; }

  int GetYear() const;
  int GetMonth() const;
  int GetDay() const;
  int GetHour() const;
  int GetMinute() const;
  int GetSecond() const;
  int GetDayOfWeek() const;  // 1 = Sunday ... 7 = Saturday
  std::optional<SystemTime> ToSystemTime() const;
  static DateTimeValue FromSystemTime(const SystemTime& st);

  // Whole days; the time of day is kept.
  DateTimeValue MinusDays(int days) const;

  // Instants compared with the time of day: < and > are false when either
  // side is not valid; == holds when both are valid and equal, or both null.
  bool operator<(const DateTimeValue& other) const;
  bool operator>(const DateTimeValue& other) const;
  bool operator==(const DateTimeValue& other) const;

private:
  double m_dt = 0.0;
  Status m_status = valid;
};

// Windows' SystemTimeToVariantTime / VariantTimeToSystemTime, as the run uses
// them. Return false on parts that do not form a date.
bool SystemTimeToVariantTime(const SystemTime& st, double* oleDate);
bool VariantTimeToSystemTime(double oleDate, SystemTime* st);

}  // namespace platform

// One element of the date filter: its first and its last instant.
struct DateRange {
  platform::DateTimeValue dtStart;
  platform::DateTimeValue dtEnd;
};
using platform::DateTimeValue;
