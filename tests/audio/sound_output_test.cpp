// The sound thread's block handling: start of play, live versus playback
// queueing, format changes, and failing or missing devices.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/clock_device.h"
#include "audio/portaudio_device.h"
#include "audio/sound_output.h"
#include "core/station_state.h"
#include "core/status_print.h"

namespace hv {
namespace {

struct Output : ::testing::Test {
  void SetUp() override {
    if (!g_soundLock) g_soundLock = CreateMutexRecord();
    g_playbackActive.store(false);
  }
  void TearDown() override { g_playbackActive.store(false); }

  // Options whose devices are hand-paced; `broken` devices cannot make a buffer.
  SoundOutput::Options Manual(std::atomic<bool>* broken = nullptr) {
    SoundOutput::Options o;
    o.makeDevice = [this, broken]() -> std::unique_ptr<SoundDevice> {
      auto d = std::make_unique<ClockDevice>(broken && broken->load() ? "/nonexistent/dir/x.wav" : "",
                                             ClockDevice::Pacing::kManual);
      device = d.get();
      return d;
    };
    o.meter = [this](int v) { lastMeter = v; };
    o.retrySeconds = 0.05;
    o.playbackWaitSeconds = 0.2;
    return o;
  }
  // Plays `quarters` quarters and answers their notifications, as the device
  // and the refill thread do.
  void PlayQuarters(SoundOutput& out, int quarters) {
    for (int i = 0; i < quarters; ++i) {
      device->Advance(2048);
      LockGuard lock(g_soundLock);
      ASSERT_EQ(out.Sound()->ServiceNotifications(), kSoundOk);
    }
  }

  std::vector<float> block = std::vector<float>(1024, 1000.0f);
  ClockDevice* device = nullptr;
  int lastMeter = -1;
};

TEST_F(Output, PlayStartsAfterMoreThan4096BytesAndTheMeterFollows) {
  SoundOutput out(Manual());
  out.Start();
  ASSERT_TRUE(out.Ready());
  out.ProcessBlock(block.data(), 1024);
  out.ProcessBlock(block.data(), 1024);
  EXPECT_FALSE(out.Playing());  // 4096 bytes queued: not yet
  out.ProcessBlock(block.data(), 1024);
  EXPECT_TRUE(out.Playing());
  EXPECT_EQ(lastMeter, 68);  // trunc(10 log10(1000^2 / 2 x 1.414)) + 10
  // The start fill is silence; the queue keeps its 6144 bytes for the refills.
  EXPECT_EQ(out.Sound()->Queue().Available(), 6144u);
}

TEST_F(Output, LiveBlocksAreDroppedWhenTheQueueIsFull) {
  SoundOutput out(Manual());
  out.Start();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i) out.ProcessBlock(block.data(), 1024);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_EQ(out.Sound()->Queue().Available(), 12286u);
  EXPECT_EQ(out.BlocksDropped(), 5u);  // the 6th block in part, the rest whole
  EXPECT_TRUE(out.Ready());
}

// In playback a full queue is waited on, but one that never drains fails the device.
TEST_F(Output, PlaybackWaitsForRoomInTheQueueButNotForever) {
  SoundOutput out(Manual());
  out.Start();
  for (int i = 0; i < 5; ++i) out.ProcessBlock(block.data(), 1024);  // playing, 10240 queued
  g_playbackActive.store(true);
  std::thread consumer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    PlayQuarters(out, 1);
  });
  out.ProcessBlock(block.data(), 1024);  // 2046 bytes free: waits for the refill
  consumer.join();
  EXPECT_EQ(out.BlocksDropped(), 0u);
  EXPECT_EQ(out.Sound()->Queue().Available(), 10240u);
  // Full again, and nothing plays now.
  auto start = std::chrono::steady_clock::now();
  out.ProcessBlock(block.data(), 1024);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(190));
  EXPECT_LT(waited, std::chrono::milliseconds(5000));
  EXPECT_FALSE(out.Ready());
  // Later blocks are drained without waiting until the device is back.
  start = std::chrono::steady_clock::now();
  out.ProcessBlock(block.data(), 1024);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(Output, AMissingDeviceIsRetriedWhileTheAudioIsDrained) {
  std::atomic<bool> broken{true};
  SoundOutput out(Manual(&broken));
  testing::internal::CaptureStderr();
  out.Start();
  EXPECT_FALSE(out.Ready());
  for (int i = 0; i < 20; ++i) out.ProcessBlock(block.data(), 1024);  // retries fail quietly
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Failed Sound Create\n"), std::string::npos);
  EXPECT_EQ(said.find("Failed Sound Create"), said.rfind("Failed Sound Create"));  // once per streak
  EXPECT_GE(out.BlocksDropped(), 20u);
  broken.store(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  out.ProcessBlock(block.data(), 1024);  // the retry succeeds; this block is dropped
  ASSERT_TRUE(out.Ready());
  for (int i = 0; i < 3; ++i) out.ProcessBlock(block.data(), 1024);
  EXPECT_TRUE(out.Playing());
}

TEST_F(Output, ALostDeviceIsRestoredOrGivenUp) {
  SoundOutput out(Manual());
  out.Start();
  for (int i = 0; i < 3; ++i) out.ProcessBlock(block.data(), 1024);
  PlayQuarters(out, 1);
  device->SimulateLoss(true);
  testing::internal::CaptureStderr();
  out.ProcessBlock(block.data(), 1024);  // cannot be restored: torn down
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(out.Ready());
}

TEST_F(Output, AFormatChangeStopsResetsAndStartsAgain) {
  SoundOutput out(Manual());
  out.Start();
  for (int i = 0; i < 3; ++i) out.ProcessBlock(block.data(), 1024);
  ASSERT_TRUE(out.Playing());
  out.FormatChanged(48000);
  EXPECT_FALSE(out.Playing());
  EXPECT_EQ(out.Sound()->QueueFormat().sampleRate, 48000u);
  EXPECT_EQ(out.Sound()->Queue().Available(), 0u);
  bool playing = true;
  out.Sound()->Buffer()->GetStatus(&playing, nullptr);
  EXPECT_FALSE(playing);
  for (int i = 0; i < 3; ++i) out.ProcessBlock(block.data(), 1024);
  EXPECT_TRUE(out.Playing());
}

TEST(AudioBackEnd, TheCommandLineChoosesTheDevice) {
  SetAudioBackend("null");
  EXPECT_STREQ(CreateSoundDevice()->Name(), "null");
  SetAudioBackend("wav:/tmp/x.wav");
  EXPECT_STREQ(CreateSoundDevice()->Name(), "wav");
  // Headless without an output device, the default falls back to the null output.
  g_headless.store(true);
  SetAudioBackend("default");
  testing::internal::CaptureStderr();
  auto device = CreateSoundDevice();
  testing::internal::GetCapturedStderr();
  EXPECT_STREQ(device->Name(), PortAudioHasOutput() ? "default" : "null");
  g_headless.store(false);
}

}  // namespace
}  // namespace hv
