#include "timer/time_of_day.h"

#include <gtest/gtest.h>

#include <utility>

#include "timer/operation_timer.h"

namespace hv {
namespace {

TEST(TimeOfDay, AcceptsThreeDigitGroupsInRange) {
  for (auto [text, seconds] : {std::pair{"00:00:00", 0}, {"23:59:59", 86399}, {"1:2:3", 3723},
                               {"007:05:000", 7 * 3600 + 300}}) {
    int s = -1;
    EXPECT_TRUE(ParseTimeOfDay(text, &s)) << text;
    EXPECT_EQ(s, seconds) << text;
  }
}

TEST(TimeOfDay, RefusesEverythingElse) {
  for (const char* text : {"24:00:00", "12:60:00", "12:00:60", "12:00", "12:00:00:00", "", ":00:00",
                           "12::00", "12:00:", " 12:00:00", "12:00:00 ", "+1:00:00", "-1:00:00",
                           "12:0a:00", "99999999999999999999:00:00", "12.00.00"}) {
    int s = -7;
    EXPECT_FALSE(ParseTimeOfDay(text, &s)) << '"' << text << '"';
    EXPECT_EQ(s, -7) << "result written for a refused text";
  }
}

TEST(TimeOfDay, WindowAcrossMidnightAndEmptyWindow) {
  const int start = 22 * 3600, stop = 2 * 3600;
  EXPECT_TRUE(InsideDailyWindow(start, stop, 23 * 3600 + 1800));
  EXPECT_TRUE(InsideDailyWindow(start, stop, 2 * 3600 - 1));
  EXPECT_TRUE(InsideDailyWindow(start, stop, start));
  EXPECT_FALSE(InsideDailyWindow(start, stop, stop));
  EXPECT_FALSE(InsideDailyWindow(start, stop, 12 * 3600));
  // Daytime window: stop itself is outside.
  EXPECT_TRUE(InsideDailyWindow(3600, 7200, 3600));
  EXPECT_FALSE(InsideDailyWindow(3600, 7200, 7200));
  // Start equal to stop never runs.
  for (int s : {0, 3599, 3600, 3601, 86399}) EXPECT_FALSE(InsideDailyWindow(3600, 3600, s));
}

TEST(TimeOfDay, LocalTimeUsesTheStreamTimesBias) {
  // 2024-01-31 23:30:00 UTC; a zone one hour east of UTC has bias -60.
  const long long utc = 1706743800;
  TimeOfDay u = TimeOfDayOf(utc, -60, false);
  EXPECT_EQ(u.hour, 23);
  EXPECT_EQ(u.minute, 30);
  TimeOfDay l = TimeOfDayOf(utc, -60, true);
  EXPECT_EQ(l.hour, 0);
  EXPECT_EQ(l.minute, 30);
  TimeOfDay w = TimeOfDayOf(utc, 300, true);  // five hours west
  EXPECT_EQ(w.hour, 18);
}

}  // namespace
}  // namespace hv
