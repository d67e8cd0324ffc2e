// The streaming sound over a hand-paced device: queue, refill, notification
// service and buffer loss, checked against what the device actually plays.
#include <gtest/gtest.h>

#include <vector>

#include "audio/clock_device.h"
#include "audio/sound_manager.h"
#include "wav_file.h"

namespace hv {
namespace {

struct Streaming : ::testing::Test {
  void SetUp() override { Make(""); }
  void Make(const std::string& wav) {
    auto d = std::make_unique<ClockDevice>(wav, ClockDevice::Pacing::kManual);
    device = d.get();
    ASSERT_EQ(manager.Initialize(std::move(d)), kSoundOk);
    ASSERT_EQ(manager.SetPrimaryFormat(), kSoundOk);
    CStreamingSound* s = nullptr;
    ASSERT_EQ(manager.CreateStreaming(&s, 8192, SoundOutputFormat(), 2048, &event), kSoundOk);
    sound.reset(s);
    ASSERT_EQ(sound->Reset(), kSoundOk);
  }
  void TearDown() override { sound.reset(); }
  uint32_t Queue(const std::vector<int16_t>& samples) {
    uint32_t accepted = 0;
    EXPECT_EQ(manager.Write(sound.get(), samples.data(), uint32_t(samples.size() * 2), &accepted), kSoundOk);
    return accepted;
  }
  std::vector<uint8_t> Quarter(uint32_t offset) {
    uint8_t *p1, *p2;
    uint32_t n1, n2;
    EXPECT_EQ(sound->Buffer()->Lock(offset, 2048, &p1, &n1, &p2, &n2), kSoundOk);
    std::vector<uint8_t> bytes(p1, p1 + n1);
    sound->Buffer()->Unlock(p1, n1, p2, n2);
    return bytes;
  }

  AutoResetEvent event;
  SoundManager manager;
  ClockDevice* device = nullptr;
  std::unique_ptr<CStreamingSound> sound;
};

std::vector<int16_t> Ramp(int from, int count) {
  std::vector<int16_t> v(count);
  for (int i = 0; i < count; ++i) v[i] = static_cast<int16_t>(from + i);
  return v;
}

TEST_F(Streaming, BufferQuartersAndQueueCapacity) {
  EXPECT_EQ(sound->BufferSize(), 8192);
  EXPECT_EQ(sound->NotifySize(), 2048);
  int64_t space = 0;
  ASSERT_EQ(manager.SpaceAvailable(sound.get(), &space), kSoundOk);
  EXPECT_EQ(space, 8190);
  EXPECT_EQ(Queue(Ramp(0, 5000)), 8190u);  // the queue keeps what fits
}

TEST_F(Streaming, RefillTakesAWholeQuarterOrWritesSilenceAndResetRewinds) {
  Queue(std::vector<int16_t>(1024, 0x1111));
  ASSERT_EQ(sound->Refill(), kSoundOk);
  EXPECT_EQ(Quarter(0), std::vector<uint8_t>(2048, 0x11));
  EXPECT_EQ(sound->NextWriteOffset(), 2048);

  Queue(std::vector<int16_t>(1000, 0x2222));  // 2000 bytes: short of a quarter
  ASSERT_EQ(sound->Refill(), kSoundOk);
  EXPECT_EQ(Quarter(2048), std::vector<uint8_t>(2048, 0));
  EXPECT_EQ(sound->Queue().Available(), 2000u);  // left for the next notification
  EXPECT_EQ(sound->NextWriteOffset(), 4096);
  EXPECT_EQ(sound->Refills(), 2u);
  EXPECT_EQ(sound->ShortRefills(), 1u);
  ASSERT_EQ(sound->Reset(), kSoundOk);
  EXPECT_EQ(sound->NextWriteOffset(), 0);
  EXPECT_EQ(sound->Queue().Available(), 0u);
}

// Driven as the two sound threads do: one start buffer of silence, then
// every queued sample once, in order.
TEST_F(Streaming, PlaysTheQueueInOrderThroughTheNotificationPoints) {
  TempFolder dir;
  std::string path = dir / "played.wav";
  sound.reset();
  manager.Initialize(nullptr);  // drop the first device before the next
  Make(path);
  int next = 0;
  Queue(Ramp(next, 3072)), next += 3072;
  ASSERT_EQ(sound->Fill(sound->Buffer()), kSoundOk);  // 8190 < 8192 queued: silence
  ASSERT_EQ(sound->Play(), kSoundOk);
  // Each step plays 1024 bytes; uneven service: sometimes two steps go by first.
  for (int step = 0; step < 64; ++step) {
    device->Advance(1024);
    if (step % 3 != 1) {
      ASSERT_EQ(sound->ServiceNotifications(), kSoundOk);
    }
    int64_t space = 0;
    manager.SpaceAvailable(sound.get(), &space);
    if (space >= 1024) Queue(Ramp(next, 512)), next += 512;
  }
  EXPECT_EQ(sound->ShortRefills(), 0u);
  EXPECT_EQ(sound->SkippedQuarters(), 0u);
  sound.reset();
  manager.Initialize(nullptr);  // finishes the file
  std::vector<int16_t> pcm = test::WavSamples(path);
  ASSERT_EQ(pcm.size(), 32u * 1024);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(pcm[i], 0) << i;
  for (int i = 4096; i < 32 * 1024; ++i) ASSERT_EQ(pcm[i], static_cast<int16_t>(i - 4096)) << i;
}

TEST_F(Streaming, EventsThatCameTogetherAreAllAnswered) {
  sound->Fill(sound->Buffer());
  sound->Play();
  device->Advance(3 * 2048);  // three points passed, one wake
  ASSERT_EQ(sound->ServiceNotifications(), kSoundOk);
  EXPECT_EQ(sound->Refills(), 3u);
  EXPECT_EQ(sound->NextWriteOffset(), 3 * 2048);
  // A stall of six quarters: two skipped, the write offset follows the one just played.
  device->Advance(6 * 2048);
  ASSERT_EQ(sound->ServiceNotifications(), kSoundOk);
  EXPECT_EQ(sound->SkippedQuarters(), 2u);
  EXPECT_EQ(sound->NextWriteOffset(), (9 * 2048) % 8192);
  ASSERT_EQ(sound->ServiceNotifications(), kSoundOk);  // a spurious wake does nothing
  EXPECT_EQ(sound->Refills(), 7u);
}

TEST_F(Streaming, ALostBufferIsRestoredAndFilledOrReportedLost) {
  sound->Fill(sound->Buffer());
  sound->Play();
  device->SimulateLoss(true);
  EXPECT_EQ(sound->Refill(), kSoundBufferLost);  // bounded tries, then a failure
  device->SimulateLoss(false);
  Queue(Ramp(1, 1024));
  EXPECT_EQ(sound->Refill(), kSoundOk);  // restored and filled again
  bool playing = false, lost = true;
  sound->Buffer()->GetStatus(&playing, &lost);
  EXPECT_FALSE(lost);
  EXPECT_EQ(sound->Refills(), 0u);  // the fill, not a quarter refill
}

}  // namespace
}  // namespace hv
