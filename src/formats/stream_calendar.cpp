#include "formats/stream_calendar.h"

#include <ctime>

namespace hv {

namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool IsValidCalendarTime(const CalendarTime& c) {
  if (c.year < 1970 || c.year > 9999 || c.month < 1 || c.month > 12) return false;
  if (c.day < 1 || c.day > DaysInMonth(c.year, c.month)) return false;
  return c.hour >= 0 && c.hour < 24 && c.minute >= 0 && c.minute < 60 && c.second >= 0 && c.second < 60 &&
         c.millisecond >= 0 && c.millisecond < 1000;
}

bool CalendarToStreamTime(const CalendarTime& c, int biasMinutes, StreamTime* out) {
  if (!IsValidCalendarTime(c)) return false;
  std::tm fields{};
  fields.tm_year = c.year - 1900;
  fields.tm_mon = c.month - 1;
  fields.tm_mday = c.day;
  fields.tm_hour = c.hour;
  fields.tm_min = c.minute;
  fields.tm_sec = c.second;
  out->utcSeconds = timegm(&fields);
  out->milliseconds = c.millisecond;
  out->biasMinutes = biasMinutes;
  return true;
}

CalendarTime StreamTimeToCalendar(const StreamTime& t) {
  std::tm fields{};
  gmtime_r(&t.utcSeconds, &fields);
  CalendarTime c;
  c.year = fields.tm_year + 1900;
  c.month = fields.tm_mon + 1;
  c.day = fields.tm_mday;
  c.hour = fields.tm_hour;
  c.minute = fields.tm_min;
  c.second = fields.tm_sec;
  c.millisecond = t.milliseconds;
  return c;
}

StreamTime AdvanceStreamTime(const StreamTime& start, int64_t milliseconds) {
  int64_t total = static_cast<int64_t>(start.milliseconds) + milliseconds;
  int64_t seconds = total / 1000;
  int64_t rest = total % 1000;
  if (rest < 0) rest += 1000, --seconds;
  StreamTime t = start;
  t.utcSeconds = start.utcSeconds + static_cast<std::time_t>(seconds);
  t.milliseconds = static_cast<int>(rest);
  return t;
}

}  // namespace hv
