#include "platform/DateTimeValue.h"

#include <cmath>
#include <ctime>

namespace platform {

namespace {

constexpr long long kMsPerDay = 86'400'000LL;
constexpr int kMinYear = 100;  // the range an OLE date can express
constexpr int kMaxYear = 9999;

long long FloorDiv(long long a, long long b) {
  long long q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Days since 1 January 1970 of a proleptic Gregorian date.
long long DaysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = FloorDiv(y, 400);
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int* year, int* month, int* day) {
  z += 719468;
  const long long era = FloorDiv(z, 146097);
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp + (mp < 10 ? 3 : -9);
  *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

const long long kEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

bool IsRealDateTime(const SystemTime& st) {
  if (st.nYear < kMinYear || st.nYear > kMaxYear) return false;
  if (st.nMonth < 1 || st.nMonth > 12) return false;
  if (st.nDay < 1 || st.nDay > DaysInMonth(st.nYear, st.nMonth)) return false;
  return st.nHour >= 0 && st.nHour <= 23 && st.nMinute >= 0 && st.nMinute <= 59 &&
         st.nSecond >= 0 && st.nSecond <= 59;
}

// An OLE date counts whole days with a sign but the time of day always
// forwards: -1.25 is 29 December 1899, 06:00. On a linear scale that is
// -0.75 days. Everything that compares or does arithmetic works there.
double ToLinearDays(double oleDate) {
  const double whole = std::trunc(oleDate);
  return whole + std::fabs(oleDate - whole);
}

double FromLinearMs(long long ms) {
  const long long days = FloorDiv(ms, kMsPerDay);
  const double fraction = static_cast<double>(ms - days * kMsPerDay) / kMsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

// Instants are compared to the millisecond so that the same date reached by
// different arithmetic (a range end built from parts, a day subtracted) is
// equal despite the last bit of a double.
double InstantMs(double oleDate) { return std::round(ToLinearDays(oleDate) * kMsPerDay); }

// Milliseconds on the linear scale, or false when the date lies outside the
// years an OLE date may express (or is not a number).
bool ToLinearMs(double oleDate, long long* ms) {
  const double lo = static_cast<double>(DaysFromCivil(kMinYear, 1, 1) - kEpochDays);
  const double hi = static_cast<double>(DaysFromCivil(kMaxYear + 1, 1, 1) - kEpochDays);
  const double linear = ToLinearDays(oleDate);
  if (!(linear >= lo && linear < hi)) return false;
  *ms = std::llround(linear * kMsPerDay);
  return true;
}

}  // namespace

bool SystemTimeToVariantTime(const SystemTime& st, double* oleDate) {
  if (!IsRealDateTime(st)) return false;
  const long long days = DaysFromCivil(st.nYear, st.nMonth, st.nDay) - kEpochDays;
  const long long seconds = st.nHour * 3600LL + st.nMinute * 60LL + st.nSecond;
  *oleDate = FromLinearMs(days * kMsPerDay + seconds * 1000);
  return true;
}

bool VariantTimeToSystemTime(double oleDate, SystemTime* st) {
  long long ms = 0;
  if (!ToLinearMs(oleDate, &ms)) return false;
  // Rounded to the nearest second, as the platform's conversion does.
  const long long seconds = FloorDiv(ms + 500, 1000);
  const long long days = FloorDiv(seconds, 86400);
  const long long timeOfDay = seconds - days * 86400;
  SystemTime out;
  CivilFromDays(days + kEpochDays, &out.nYear, &out.nMonth, &out.nDay);
  if (out.nYear < kMinYear || out.nYear > kMaxYear) return false;
  out.nDayOfWeek = static_cast<int>(((days + kEpochDays) % 7 + 7 + 4) % 7);  // 0 = Sunday
  out.nHour = static_cast<int>(timeOfDay / 3600);
  out.nMinute = static_cast<int>(timeOfDay / 60 % 60);
  out.nSecond = static_cast<int>(timeOfDay % 60);
  *st = out;
  return true;
}

DateTimeValue::DateTimeValue(int year, int month, int day, int hour, int minute, int second) {
  SystemTime st;
  st.nYear = year;
  st.nMonth = month;
  st.nDay = day;
  st.nHour = hour;
  st.nMinute = minute;
  st.nSecond = second;
  *this = FromSystemTime(st);
}

DateTimeValue DateTimeValue::Null() {
  DateTimeValue v;
  v.m_status = null;
  return v;
}

DateTimeValue DateTimeValue::Invalid() {
  DateTimeValue v;
  v.m_status = invalid;
  return v;
}

DateTimeValue DateTimeValue::CurrentTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return Invalid();
  return DateTimeValue(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                       local.tm_min, local.tm_sec);
}

DateTimeValue DateTimeValue::FromSystemTime(const SystemTime& st) {
  double oleDate = 0.0;
  if (!SystemTimeToVariantTime(st, &oleDate)) return Invalid();
  return DateTimeValue(oleDate);
}

std::optional<SystemTime> DateTimeValue::ToSystemTime() const {
  SystemTime st;
  if (!IsValid() || !VariantTimeToSystemTime(m_dt, &st)) return std::nullopt;
  return st;
}

int DateTimeValue::GetYear() const {
  const auto st = ToSystemTime();
  return st ? st->nYear : -1;
}

int DateTimeValue::GetMonth() const {
  const auto st = ToSystemTime();
  return st ? st->nMonth : -1;
}

int DateTimeValue::GetDay() const {
  const auto st = ToSystemTime();
  return st ? st->nDay : -1;
}

int DateTimeValue::GetHour() const {
  const auto st = ToSystemTime();
  return st ? st->nHour : -1;
}

int DateTimeValue::GetMinute() const {
  const auto st = ToSystemTime();
  return st ? st->nMinute : -1;
}

int DateTimeValue::GetSecond() const {
  const auto st = ToSystemTime();
  return st ? st->nSecond : -1;
}

int DateTimeValue::GetDayOfWeek() const {
  const auto st = ToSystemTime();
  return st ? st->nDayOfWeek + 1 : -1;
}

DateTimeValue DateTimeValue::MinusDays(int days) const {
  if (!IsValid()) return *this;
  long long ms = 0;
  if (!ToLinearMs(m_dt, &ms)) return Invalid();
  const double result = FromLinearMs(ms - static_cast<long long>(days) * kMsPerDay);
  long long check = 0;
  if (!ToLinearMs(result, &check)) return Invalid();
  return DateTimeValue(result);
}

bool DateTimeValue::operator<(const DateTimeValue& other) const {
  return IsValid() && other.IsValid() && InstantMs(m_dt) < InstantMs(other.m_dt);
}

bool DateTimeValue::operator>(const DateTimeValue& other) const {
  return IsValid() && other.IsValid() && InstantMs(m_dt) > InstantMs(other.m_dt);
}

bool DateTimeValue::operator==(const DateTimeValue& other) const {
  if (m_status == null && other.m_status == null) return true;
  return IsValid() && other.IsValid() && InstantMs(m_dt) == InstantMs(other.m_dt);
}

}  // namespace platform
