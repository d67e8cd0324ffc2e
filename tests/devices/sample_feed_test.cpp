// The sample feed at the edges of conduit1: a format change while it is nearly
// full, and how a run of overruns is reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conduit_drain.h"
#include "devices/sample_feed.h"

namespace hv {
namespace {

// `frames` frames of `channels` channels, sample value = 4 * frame + channel
// (wrapping), so a frame boundary out of place shows in every later sample.
std::vector<uint8_t> Frames(uint32_t first, uint32_t frames, int channels) {
  std::vector<uint8_t> b;
  for (uint32_t f = first; f < first + frames; ++f)
    for (int c = 0; c < channels; ++c) {
      uint16_t v = static_cast<uint16_t>((f * 4 + static_cast<uint32_t>(c)) & 0x7FFF);
      b.push_back(static_cast<uint8_t>(v & 0xFF));
      b.push_back(static_cast<uint8_t>(v >> 8));
    }
  return b;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A receiver of four channels announced while the conduit holds mono samples
// and has little room left: at every fill level, what goes in after the format
// mark is whole 8-byte frames, and the next delivery keeps the channel order.
TEST(SampleFeedFormatChange, MoreChannelsAnnouncedNearlyFullHandOverWholeFrames) {
  constexpr uint32_t kCapacity = 4096;
  for (uint32_t used = kCapacity - 64; used < kCapacity; used += 2) {
    WaveFormat format = MakeWaveFormat(250000, 1, 2, 16);
    Conduit conduit;
    ASSERT_EQ(conduit.Create(kCapacity, &format), kStatusOk);
    SampleFeed feed(&conduit);
    feed.Start(MakeWaveFormat(250000, 1, 2, 16));
    test::Drained drained;
    std::vector<uint8_t> mono(used, 0);
    feed.Deliver(mono.data(), 2, false, false);
    test::DrainConduit(conduit, drained);  // the mono format taken, the ring's start moved
    feed.Deliver(mono.data(), used, false, false);

    feed.Start(MakeWaveFormat(250000, 4, 8, 16));
    std::vector<uint8_t> first = Frames(0, 16, 4);
    feed.Deliver(first.data(), static_cast<uint32_t>(first.size()), false, false);
    test::DrainConduit(conduit, drained);
    ASSERT_EQ(drained.formats.size(), 2u) << used;
    size_t mark = drained.formatAt[1];
    size_t after = drained.samples.size() - mark;
    EXPECT_EQ(after % 4, 0u) << "a partial frame slipped in with " << used << " bytes used";

    // Room again: the following frames must keep every channel in its place.
    std::vector<uint8_t> next = Frames(16, 64, 4);
    feed.Deliver(next.data(), static_cast<uint32_t>(next.size()), false, false);
    test::DrainConduit(conduit, drained);
    ASSERT_GE(drained.samples.size(), mark + 64 * 4);
    for (size_t j = mark; j < drained.samples.size(); ++j)
      ASSERT_EQ(static_cast<size_t>(drained.samples[j]) % 4, (j - mark) % 4)
          << "channel order shifted at sample " << j - mark << " with " << used << " bytes used";
  }
}

double g_now = 0;
double FakeNow() { return g_now; }

// A chain that keeps up only now and then: one report when the losses begin,
// one when a delivery is taken in full a second after the last loss, with the
// count of bytes lost; a later run of losses is a new streak.
TEST(SampleFeedOverrun, ReportedOncePerStreakWithTheBytesLostWhenItEnds) {
  WaveFormat format = MakeWaveFormat(4000, 1, 2, 16);
  Conduit conduit;
  ASSERT_EQ(conduit.Create(4096, &format), kStatusOk);  // holds 4094 bytes at most
  SampleFeed feed(&conduit);
  feed.SetClock(FakeNow);
  feed.Start(format);
  test::Drained drained;
  std::vector<uint8_t> block(1000, 0);
  auto deliver = [&](int times) {
    for (int i = 0; i < times; ++i) feed.Deliver(block.data(), 1000, false, false);
  };

  testing::internal::CaptureStderr();
  g_now = 100;
  deliver(4);
  EXPECT_FALSE(feed.InOverrunStreak());
  for (int round = 0; round < 50; ++round) {  // the chain catches up now and then
    g_now += 0.3;
    test::DrainConduit(conduit, drained);
    deliver(4);  // taken in full
    deliver(1);  // 94 bytes taken, 906 lost
  }
  EXPECT_TRUE(feed.InOverrunStreak());
  const uint64_t lost = feed.overrunLost;
  EXPECT_EQ(lost, 50u * 906u);
  g_now += 0.99;
  test::DrainConduit(conduit, drained);
  deliver(4);  // taken in full, but within a second of the last loss: the streak goes on
  EXPECT_TRUE(feed.InOverrunStreak());
  g_now += 0.02;
  test::DrainConduit(conduit, drained);
  deliver(1);  // a second after it: the streak ends
  EXPECT_FALSE(feed.InOverrunStreak());
  std::string first = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(first, "Conduit1 overrun"), 2u) << first;
  EXPECT_EQ(Count(first, "Conduit1 overrun ended: " + std::to_string(lost) + " bytes ("), 1u) << first;
  EXPECT_EQ(feed.written + feed.dropped, 4000u + 50u * 5000u + 5000u);
  EXPECT_EQ(feed.dropped, lost);

  // A new streak, ended by the end of the stream (the receiver was lost).
  testing::internal::CaptureStderr();
  deliver(6);
  feed.EndOverrunStreak();
  feed.EndOverrunStreak();
  std::string second = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(second, "Conduit1 overrun: "), 1u) << second;
  EXPECT_EQ(Count(second, "Conduit1 overrun ended: " + std::to_string(feed.overrunLost - lost) + " bytes"), 1u)
      << second;
  EXPECT_EQ(feed.overrunStreaks, 2u);
}

}  // namespace
}  // namespace hv
