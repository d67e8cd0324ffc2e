#include "core/time_of_day.h"

#include <gtest/gtest.h>

#include <tuple>
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

// The start is inside, the stop outside; a window may span midnight, and one
// whose start equals its stop never runs.
TEST(TimeOfDay, WindowAcrossMidnightDaytimeAndEmpty) {
  const int H = 3600;
  for (auto [start, stop, now, inside] :
       {std::tuple{22 * H, 2 * H, 23 * H + 1800, true}, {22 * H, 2 * H, 2 * H - 1, true}, {22 * H, 2 * H, 22 * H, true},
        {22 * H, 2 * H, 2 * H, false}, {22 * H, 2 * H, 12 * H, false}, {H, 2 * H, H, true}, {H, 2 * H, 2 * H, false},
        {H, H, 0, false}, {H, H, H - 1, false}, {H, H, H, false}, {H, H, H + 1, false}, {H, H, 86399, false}})
    EXPECT_EQ(InsideDailyWindow(start, stop, now), inside) << start << "-" << stop << " at " << now;
}

// 2024-01-31 23:30:00 UTC; bias -60 is one hour east of UTC, 300 five hours west.
TEST(TimeOfDay, LocalTimeUsesTheStreamTimesBias) {
  for (auto [bias, local, hour] : {std::tuple{-60, false, 23}, {-60, true, 0}, {300, true, 18}}) {
    TimeOfDay t = TimeOfDayOf(1706743800, bias, local);
    EXPECT_EQ(t.hour * 100 + t.minute, hour * 100 + 30) << bias << (local ? " local" : " UTC");
  }
}

}  // namespace
}  // namespace hv
