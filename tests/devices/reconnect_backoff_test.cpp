// When a dropping receiver is opened again: pauses, streaks and their end.
#include <gtest/gtest.h>

#include "devices/reconnect_backoff.h"

namespace hv {
namespace {

TEST(ReconnectBackoff, PausesGrowFromNoneToThirtySeconds) {
  const double expected[] = {0, 0, 1, 2, 4, 8, 16, 30, 30, 30};
  for (int drops = 0; drops < 10; ++drops) EXPECT_EQ(ReconnectBackoff::PauseAfter(drops), expected[drops]) << drops;
  EXPECT_EQ(ReconnectBackoff::PauseAfter(1000), 30);
}

// Connections lost at once continue the streak; one that delivers for under a
// second does too; one that delivers for a second ends it, and its own later
// loss is a first loss again (reopened at once).
TEST(ReconnectBackoff, OnlyAConnectionDeliveringForASecondEndsTheStreak) {
  ReconnectBackoff b;
  double t = 100;
  struct Step { double delivers; double lastsFor; double pause; int drops; } steps[] = {
      {-1, 0, 0, 1},     // hangs up at once: reopened at once
      {-1, 0, 1, 2},     // again: 1 s
      {-1, 2, 2, 3},     // silent for 2 s: 2 s
      {0.1, 0.9, 4, 4},  // delivers, but gone within the second: 4 s
  };
  for (const Step& s : steps) {
    b.Opened(t);
    if (s.delivers >= 0) {
      EXPECT_FALSE(b.Delivered(t + s.delivers));
    }
    EXPECT_EQ(b.HasDelivered(), s.delivers >= 0);
    t += s.lastsFor;
    EXPECT_EQ(b.Lost(t) - t, s.pause) << s.drops;
    EXPECT_EQ(b.drops(), s.drops);
    EXPECT_TRUE(b.InStreak());
  }
  b.Opened(t);
  EXPECT_FALSE(b.Delivered(t + 0.5));
  EXPECT_TRUE(b.Delivered(t + 1.0));  // healthy: the streak of four ends
  EXPECT_EQ(b.EndedStreak(), 4);
  EXPECT_FALSE(b.InStreak());
  EXPECT_FALSE(b.Delivered(t + 2.0));  // said once
  EXPECT_EQ(b.Lost(t + 60), t + 60);  // a healthy connection's loss: at once
  EXPECT_EQ(b.drops(), 1);
  b.Opened(t + 60);
  EXPECT_EQ(b.Lost(t + 60), t + 61);  // and a quick one after it: 1 s
  b.Reset();
  EXPECT_FALSE(b.InStreak());
  EXPECT_EQ(b.Lost(t + 70), t + 70);  // nothing open: no streak, no pause
  EXPECT_FALSE(b.InStreak());
}

}  // namespace
}  // namespace hv
