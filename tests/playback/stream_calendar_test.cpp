// The replayed stream time across minute, day, month and year ends.
#include <gtest/gtest.h>

#include "formats/stream_calendar.h"
#include "replay_harness.h"

namespace hv {
namespace {

CalendarTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
  CalendarTime c;
  c.year = y, c.month = mo, c.day = d, c.hour = h, c.minute = mi, c.second = s, c.millisecond = ms;
  return c;
}

TEST(StreamCalendar, CarriesAcrossMonthAndYearEnds) {
  struct Case {
    CalendarTime start;
    int64_t ms;
    CalendarTime end;
  } cases[] = {
      {At(2024, 4, 30, 23, 59, 59, 900), 200, At(2024, 5, 1, 0, 0, 0, 100)},      // 30-day month
      {At(2023, 2, 28, 23, 59, 59, 500), 600, At(2023, 3, 1, 0, 0, 0, 100)},      // February
      {At(2024, 2, 28, 23, 59, 59, 500), 600, At(2024, 2, 29, 0, 0, 0, 100)},     // leap day
      {At(2023, 12, 31, 23, 59, 59, 999), 1, At(2024, 1, 1, 0, 0, 0, 0)},         // year end
      {At(2024, 1, 31, 22, 0, 0, 0), 3 * 3600 * 1000, At(2024, 2, 1, 1, 0, 0, 0)},
      {At(2024, 3, 1, 0, 0, 0, 250), -500, At(2024, 2, 29, 23, 59, 59, 750)},
  };
  for (const Case& c : cases) {
    StreamTime start;
    ASSERT_TRUE(CalendarToStreamTime(c.start, -60, &start));
    StreamTime end = AdvanceStreamTime(start, c.ms);
    EXPECT_EQ(end.biasMinutes, -60);
    EXPECT_EQ(test::CalendarText(StreamTimeToCalendar(end)), test::CalendarText(c.end));
  }
}

TEST(StreamCalendar, RefusesImpossibleDates) {
  StreamTime t;
  t.utcSeconds = 42;
  for (CalendarTime bad : {At(2023, 2, 29, 0, 0, 0, 0), At(2024, 4, 31, 0, 0, 0, 0), At(2024, 13, 1, 0, 0, 0, 0),
                           At(2024, 0, 1, 0, 0, 0, 0), At(2024, 1, 0, 0, 0, 0, 0), At(2024, 1, 1, 24, 0, 0, 0),
                           At(2024, 1, 1, 0, 60, 0, 0), At(2024, 1, 1, 0, 0, 60, 0), At(2024, 1, 1, 0, 0, 0, 1000),
                           At(0, 0, 0, 0, 0, 0, 0)})
    EXPECT_FALSE(CalendarToStreamTime(bad, 0, &t));
  EXPECT_EQ(t.utcSeconds, 42);
}

}  // namespace
}  // namespace hv
