// The conditioning and spectrum threads end to end over their conduits.
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/worker_routines.h"
#include "dsp/analysis_frame.h"
#include "dsp/conditioner.h"
#include "dsp/tuning_path.h"
#include "thread_harness.h"

namespace hv {
namespace {

std::vector<int16_t> ToneSamples(int count, double hz, double rate, double amplitude) {
  std::vector<int16_t> s(count);
  for (int i = 0; i < count; ++i) s[i] = static_cast<int16_t>(amplitude * std::sin(2.0 * M_PI * hz * i / rate));
  return s;
}

using ConditioningThreadTest = WorkerHarness;

TEST_F(ConditioningThreadTest, FansOutConditionedBlocks) {
  g_settings.MenuRecordMode = kModeContinuous;
  g_settings.AudioOn = false;
  Start(ConditioningThread);
  std::vector<int16_t> in = ToneSamples(2048, 30000.0, 250000.0, 8000.0);
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data(), 4096));

  // Reference: the same stage on the same bytes.
  Conditioner ref;
  std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(in.data()), reinterpret_cast<uint8_t*>(in.data()) + 4096);
  std::vector<float> expected(2048), got(2048);
  for (int k = 0; k < 2048; k += 512) ref.Process(bytes.data() + 2 * k, 512, 2, ResponseFilter::kNone, &expected[k]);
  ASSERT_TRUE(ReadExactly(conduit5, got.data(), 2048 * 4));
  EXPECT_EQ(got, expected);
  // The recording conduit hears the stream's format before its first bytes.
  WaveFormat f3;
  ASSERT_TRUE(WaitFormat(conduit3, &f3));
  EXPECT_EQ(f3, MakeWaveFormat(250000, 1, 2, 16));
  std::vector<int16_t> recorded(2048);
  ASSERT_TRUE(ReadExactly(conduit3, recorded.data(), 4096));
  EXPECT_EQ(recorded, in);
  Settle();
  EXPECT_EQ(conduit4.Available(), 0u);  // trace window hidden
  EXPECT_EQ(conduit2.Available(), 0u);  // audio off

  // Trace shown, compensation on: conduit4 gets the filtered block, and so does the recording.
  g_traceShown = true;
  g_settings.MenuPrefilter = true;
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data(), 1024));
  std::vector<float> trace(512), spectrum(512);
  ASSERT_TRUE(ReadExactly(conduit4, trace.data(), 2048));
  ASSERT_TRUE(ReadExactly(conduit5, spectrum.data(), 2048));
  EXPECT_EQ(trace, spectrum);
  std::vector<float> filtered(512);
  ref.Process(bytes.data(), 512, 2, ResponseFilter::kCompensation, filtered.data());
  EXPECT_EQ(spectrum, filtered);
  std::vector<int16_t> written(512);
  ASSERT_TRUE(ReadExactly(conduit3, written.data(), 1024));
  for (int i = 0; i < 512; ++i) EXPECT_EQ(written[i], WriteBackSample(filtered[i]));

  // Headless (no screen to see the trace): the trace gets nothing, the analysis and the recording go on.
  g_drawingSeen = false;
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data(), 1024));
  ASSERT_TRUE(ReadExactly(conduit5, spectrum.data(), 2048));
  ASSERT_TRUE(ReadExactly(conduit3, written.data(), 1024));
  Settle();
  EXPECT_EQ(conduit4.Available(), 0u);
}

TEST_F(ConditioningThreadTest, FormatChangeReannouncesAndLimitsTheTuning) {
  g_settings.TuneFrequency = 15000.0f;
  g_settings.MenuRecordMode = kModeContinuous;
  Start(ConditioningThread);
  Settle();  // past its start, where it takes conduit1's format
  conduit1.AnnounceFormat(MakeWaveFormat(500000, 4, 8, 16));
  std::vector<int16_t> in(512, 100);
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data(), 1024));
  WaveFormat f4, f5, f2, f3;
  ASSERT_TRUE(WaitFormat(conduit5, &f5));
  ASSERT_TRUE(WaitFormat(conduit4, &f4));
  ASSERT_TRUE(WaitFormat(conduit2, &f2));
  ASSERT_TRUE(WaitFormat(conduit3, &f3));
  EXPECT_EQ(f5, MakeWaveFormat(500000, 4, 8, 16));
  EXPECT_EQ(f4, f5);
  EXPECT_EQ(f3, f5);
  EXPECT_EQ(f2, MakeWaveFormat(44100, 1, 4, 32));
  std::vector<int16_t> recorded(512);
  ASSERT_TRUE(ReadExactly(conduit3, recorded.data(), 1024));
  EXPECT_EQ(recorded, in);
  Settle();  // the limits follow the announcements
  EXPECT_EQ(g_tuneUpperLimit.load(), 238975.0f);
  EXPECT_EQ(g_tuneLowerLimit.load(), 21025.0f);
  EXPECT_EQ(g_settings.TuneFrequency.load(), 21025.0f);

  // In playback the lower limit is 11025: 15000 stays. The same format again
  // (another stream) is announced on the recording conduit again too, behind
  // the mark its reader placed first: neither announcement replaces the other.
  g_playbackActive = true;
  g_settings.TuneFrequency = 15000.0f;
  ASSERT_TRUE(conduit3.PlaceMark());
  conduit1.AnnounceFormat(MakeWaveFormat(500000, 4, 8, 16));
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data(), 1024));
  ASSERT_TRUE(WaitFormat(conduit5, &f5));
  ASSERT_TRUE(WaitFormat(conduit3, &f3));  // the reader's own mark
  ASSERT_TRUE(WaitFormat(conduit3, &f3));  // then the stream's announcement, at the same point
  EXPECT_EQ(f3, MakeWaveFormat(500000, 4, 8, 16));
  ASSERT_TRUE(ReadExactly(conduit3, recorded.data(), 1024));
  EXPECT_EQ(recorded, in);
  Settle();
  EXPECT_EQ(g_tuneLowerLimit.load(), 11025.0f);
  EXPECT_EQ(g_settings.TuneFrequency.load(), 15000.0f);
}

// A receiver that announced its stream before the thread started: the first
// read meets it as a format change, so every conduit downstream hears it and
// the frames are the stream's own (four channels of 8 bytes, not 2-byte samples).
TEST_F(ConditioningThreadTest, FormatAnnouncedBeforeTheThreadStartsIsAFormatChange) {
  g_settings.MenuRecordMode = kModeContinuous;
  g_settings.AudioOn = false;
  const WaveFormat four = MakeWaveFormat(250000, 4, 8, 16);
  conduit1.AnnounceFormat(four);
  std::vector<int16_t> in(2048);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<int16_t>(i % 4 == 0 ? 1000 + i : -7);
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data(), 4096));
  Start(ConditioningThread);
  WaveFormat f5, f3;
  ASSERT_TRUE(WaitFormat(conduit5, &f5));
  ASSERT_TRUE(WaitFormat(conduit3, &f3));
  EXPECT_EQ(f5, four);
  EXPECT_EQ(f3, four);
  // One conditioned sample per frame: 512 frames make 512 floats.
  std::vector<float> got(512);
  ASSERT_TRUE(ReadExactly(conduit5, got.data(), 512 * 4));
  Settle();
  EXPECT_EQ(conduit5.Available(), 0u);
  std::vector<int16_t> recorded(2048);
  ASSERT_TRUE(ReadExactly(conduit3, recorded.data(), 4096));
  EXPECT_EQ(recorded, in);

  // Started again with that stream in force and nothing announced: still its frames.
  Stop();
  g_run = true;
  Start(ConditioningThread);
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data(), 4096));
  ASSERT_TRUE(ReadExactly(conduit5, got.data(), 512 * 4));
  Settle();
  EXPECT_EQ(conduit5.Available(), 0u);
}

// Frames of three channels (6 bytes) do not divide the 1024-byte block: each
// block ends on a frame, so the analysis follows the first channel throughout
// and the recording gets every byte, in batches of many blocks at once.
TEST_F(ConditioningThreadTest, ThreeChannelFramesStayWholeAcrossBlocks) {
  g_settings.MenuRecordMode = kModeContinuous;
  g_settings.AudioOn = false;
  Start(ConditioningThread);
  Settle();
  const WaveFormat three = MakeWaveFormat(250000, 3, 6, 16);
  conduit1.AnnounceFormat(three);
  const int frames = 3000;  // 17.6 blocks of 170 frames
  std::vector<int16_t> tone = ToneSamples(frames, 30000.0, 250000.0, 8000.0);
  std::vector<int16_t> in(3 * frames);
  for (int i = 0; i < frames; ++i) {
    in[3 * i] = tone[i];
    in[3 * i + 1] = 30000;  // the other channels would show as a large step if read as the first
    in[3 * i + 2] = -30000;
  }
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data(), static_cast<uint32_t>(in.size() * 2)));
  WaveFormat f5, f3;
  ASSERT_TRUE(WaitFormat(conduit5, &f5));
  EXPECT_EQ(f5, three);
  // Whole blocks are taken as they come; the last part (under a block) waits for more.
  const int taken = frames - frames % 170;
  std::vector<float> got(taken), expected(taken);
  ASSERT_TRUE(ReadExactly(conduit5, got.data(), taken * 4));
  Conditioner ref;
  std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(in.data()), reinterpret_cast<uint8_t*>(in.data() + in.size()));
  for (int k = 0; k < taken; k += 170) ref.Process(bytes.data() + 6 * k, 170, 6, ResponseFilter::kNone, &expected[k]);
  EXPECT_EQ(got, expected);
  ASSERT_TRUE(WaitFormat(conduit3, &f3));
  EXPECT_EQ(f3, three);
  std::vector<int16_t> recorded(3 * taken);
  ASSERT_TRUE(ReadExactly(conduit3, recorded.data(), static_cast<uint32_t>(recorded.size() * 2)));
  EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), in.begin()));
}

TEST_F(ConditioningThreadTest, VolumeDecidesTheAudioAndAudioModeRecordsIt) {
  std::string error;
  ASSERT_TRUE(SetSettingFromText("AudioVolume=2", &error));
  g_settings.MenuRecordMode = kModeAutoSnap;
  Start(ConditioningThread);
  std::vector<int16_t> in = ToneSamples(512 * 20, 45000.0, 250000.0, 8000.0);
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data(), 1024 * 10));
  std::vector<float> c5(512 * 10);
  ASSERT_TRUE(ReadExactly(conduit5, c5.data(), 512 * 10 * 4));
  Settle();
  EXPECT_EQ(conduit2.Available(), 0u);

  // Volume 3: gain 1.5; Audio mode: the same audio as 16-bit samples on Conduit3.
  ASSERT_TRUE(SetSettingFromText("AudioVolume=3", &error));
  EXPECT_FLOAT_EQ(g_settings.AudioVolume.load(), 1.5f);
  g_settings.MenuRecordMode = kModeAudio;
  ASSERT_TRUE(WriteWhileRunning(conduit1, in.data() + 512 * 10, 1024 * 10));
  std::vector<float> c5b(512 * 10);
  ASSERT_TRUE(ReadExactly(conduit5, c5b.data(), 512 * 10 * 4));
  Settle(100);

  // Reference: a tuning path at gain 1 over the same conditioned samples (window filled by the second half only).
  TuningPath ref(250000.0f, g_settings.TuneFrequency.load());
  std::vector<float> expected;
  auto sink = [](void* ctx, const float* s, uint32_t n) {
    auto* v = static_cast<std::vector<float>*>(ctx);
    v->insert(v->end(), s, s + n);
  };
  for (int k = 0; k < 10; ++k) ref.ProcessBlock(c5b.data() + 512 * k, 512, g_settings.TuneFrequency.load(), 1.0f, sink, &expected);
  ASSERT_GT(expected.size(), 100u);
  ASSERT_EQ(conduit2.Available(), expected.size() * 4);
  std::vector<float> audio(expected.size());
  ASSERT_TRUE(ReadExactly(conduit2, audio.data(), audio.size() * 4));
  for (size_t i = 0; i < audio.size(); ++i) ASSERT_FLOAT_EQ(audio[i], 1.5f * expected[i]) << i;
  WaveFormat f3;
  ASSERT_TRUE(WaitFormat(conduit3, &f3));
  EXPECT_EQ(f3, MakeWaveFormat(44100, 1, 2, 16));
  std::vector<int16_t> recorded(expected.size());
  ASSERT_TRUE(ReadExactly(conduit3, recorded.data(), recorded.size() * 2));
  for (size_t i = 0; i < audio.size(); ++i) ASSERT_EQ(recorded[i], static_cast<int16_t>(std::trunc(audio[i]))) << i;
}

using SpectrumThreadTest = WorkerHarness;

// Each frame starts one hop (64 samples) after the last, from sample value `first`.
void ExpectHops(const std::vector<SpectrumFrame>& frames, float first) {
  for (size_t k = 0; k < frames.size(); ++k)
    for (int i = 0; i < 64; ++i) ASSERT_EQ(frames[k].samples[i], first + static_cast<float>(64 * k + i)) << k;
}

TEST_F(SpectrumThreadTest, FramesCarryConsecutiveHops) {
  g_settings.MenuRecordMode = kModeAutoSnap;
  Start(SpectrumThread);
  std::vector<float> x(2048);
  for (int i = 0; i < 2048; ++i) x[i] = static_cast<float>(i);
  ASSERT_TRUE(WriteWhileRunning(conduit5, x.data(), 256 * 4));  // exactly 256: no frame yet
  Settle(100);
  EXPECT_EQ(conduit6.Available(), 0u);
  ASSERT_TRUE(WriteWhileRunning(conduit5, x.data() + 256, (2048 - 256) * 4));
  // 2048 samples: windows at 0, 64, ... while g + 256 < 2048: 28 frames.
  std::vector<SpectrumFrame> frames(28), snap(28);
  ASSERT_TRUE(ReadExactly(conduit6, frames.data(), 28 * kSpectrumFrameBytes));
  ASSERT_TRUE(ReadExactly(conduit7, snap.data(), 28 * kSpectrumFrameBytes));
  Settle();
  EXPECT_EQ(conduit6.Available(), 0u);
  ExpectHops(frames, 0.0f);
  EXPECT_EQ(std::memcmp(frames.data(), snap.data(), 28 * kSpectrumFrameBytes), 0);

  // Not in Auto Snap: conduit7 stays empty. A format change is passed on as a frame format.
  g_settings.MenuRecordMode = kModeContinuous;
  conduit5.AnnounceFormat(MakeWaveFormat(500000, 1, 4, 32));
  ASSERT_TRUE(WriteWhileRunning(conduit5, x.data(), 2048 * 4));
  WaveFormat f6;
  ASSERT_TRUE(WaitFormat(conduit6, &f6));
  EXPECT_EQ(f6, MakeWaveFormat(500000, 1, 272, 2176));
  Settle();
  uint8_t scratch[64];
  uint32_t got = 0;
  EXPECT_EQ(conduit7.Read(sizeof(scratch), scratch, &got), kStatusNotInitialized);  // only the mark
}

// At a change of the stream, the old samples not yet in a frame go out in
// frames before the announcement (a part shorter than a hop is dropped), and
// the first frame after it starts with the new stream's first sample.
TEST_F(SpectrumThreadTest, NoFrameHoldsSamplesOfTwoStreams) {
  g_settings.MenuRecordMode = kModeAutoSnap;
  Start(SpectrumThread);
  std::vector<float> x(2048);
  for (int i = 0; i < 300; ++i) x[i] = static_cast<float>(i);
  ASSERT_TRUE(WriteWhileRunning(conduit5, x.data(), 300 * 4));
  conduit5.AnnounceFormat(MakeWaveFormat(500000, 1, 4, 32));
  for (int i = 0; i < 2048; ++i) x[i] = static_cast<float>(10000 + i);
  ASSERT_TRUE(WriteWhileRunning(conduit5, x.data(), 2048 * 4));
  for (Conduit* c : {&conduit6, &conduit7}) {
    // 300 samples: one frame in the first cycle, then 192 more in three at the change.
    std::vector<SpectrumFrame> old(4), fresh(28);
    ASSERT_TRUE(ReadExactly(*c, old.data(), 4 * kSpectrumFrameBytes));
    ExpectHops(old, 0.0f);
    WaveFormat f;
    ASSERT_TRUE(WaitFormat(*c, &f));
    EXPECT_EQ(f, MakeWaveFormat(500000, 1, 272, 2176));
    ASSERT_TRUE(ReadExactly(*c, fresh.data(), 28 * kSpectrumFrameBytes));
    ExpectHops(fresh, 10000.0f);
  }
}

// Silence keeps frames flowing; headless, they go to the recorder and not the display.
TEST_F(SpectrumThreadTest, HeadlessSilenceFeedsTheRecorderButNotTheDisplay) {
  g_settings.MenuRecordMode = kModeAutoSnap;
  g_drawingSeen = false;
  Start(SpectrumThread);
  std::vector<float> zeros(4096, 0.0f);
  ASSERT_TRUE(WriteWhileRunning(conduit5, zeros.data(), zeros.size() * 4));
  std::vector<SpectrumFrame> snap(60);
  ASSERT_TRUE(ReadExactly(conduit7, snap.data(), 60 * kSpectrumFrameBytes));
  Settle();
  EXPECT_EQ(conduit6.Available(), 0u);
}

}  // namespace
}  // namespace hv
