#include "recording/stream_recorder.h"

#include <cstring>

#include "recording/record_control.h"
#include "recording/recorder_fixture.h"
#include "recording/tdelay.h"

namespace hv {
namespace {

TEST(TDelay, ProcessDelaysByTheLineLength) {
  TDelay d;
  uint8_t bytes[512];
  std::memset(bytes, 7, sizeof bytes);
  EXPECT_TRUE(d.Process(bytes, 511));  // no storage: untouched, valid
  EXPECT_EQ(bytes[0], 7);
  d.SetFormat(MakeWaveFormat(1000, 1, 2, 16));
  ASSERT_TRUE(d.SetDelay(0.5f));  // 500 frames, 1000 bytes
  EXPECT_EQ(d.Length(), 1000u);
  EXPECT_FALSE(d.Process(bytes, 511));  // not whole blocks
  EXPECT_EQ(bytes[0], 7);
  EXPECT_FALSE(d.DelayChanged(0.5f));
  EXPECT_TRUE(d.FormatChanged(MakeWaveFormat(2000, 1, 2, 16)));

  // A counter through the line comes out 1000 bytes later.
  uint32_t g = 0;
  std::vector<bool> valid;
  for (int round = 0; round < 6; ++round) {
    uint8_t chunk[400];
    for (int i = 0; i < 400; ++i) chunk[i] = uint8_t(g + i);
    bool ok = d.Process(chunk, sizeof chunk);
    valid.push_back(ok);
    if (ok) {
      for (int i = 0; i < 400; ++i) ASSERT_EQ(chunk[i], uint8_t(g + i - 1000));
    }
    g += 400;
  }
  // Filled during the third call: the first call that fills it says false, the next true.
  EXPECT_EQ(valid, (std::vector<bool>{false, false, false, true, true, true}));
}

class StreamRecorderTest : public RecorderTest {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    format_ = MakeWaveFormat(44100, 1, 2, 16);
    conduit_.Create(88200, &format_);
  }
  // Writes counter samples as space allows and runs the recorder until it
  // waits for data; `rounds` times.
  void Pump(StreamRecorder& r, int rounds) {
    for (int i = 0; i < rounds; ++i) {
      int64_t space = 0;
      conduit_.Space(&space);
      uint32_t n = uint32_t(std::min<int64_t>(space, 8192)) & ~1u;
      std::vector<uint8_t> b(n);
      for (uint32_t k = 0; k < n; k += 2, ++next_) b[k] = uint8_t(next_), b[k + 1] = uint8_t(next_ >> 8);
      uint32_t accepted = 0;
      conduit_.Write(n, b.data(), &accepted);
      ASSERT_EQ(accepted, n);
      while (r.Pass()) {
      }
      r.Pass();
    }
  }
  WaveFormat format_;
  Conduit conduit_;
  uint16_t next_ = 0;
};

TEST_F(StreamRecorderTest, ContinuousRecordingIsFinishedWithItsAttribute) {
  g_settings.MenuPrefilter.store(true);
  StreamRecorder r(&conduit_);
  Pump(r, 3);
  g_recordOn.store(true);
  Pump(r, 40);
  EXPECT_EQ(r.State(), kStreamRecording);
  EXPECT_EQ(StatusLine(), "Status : RECORDING");
  EXPECT_EQ(XsControlText(g_recordSetupWindow, 390), "site.wav");
  EXPECT_EQ(Files(".tmp_wav").size(), 1u);
  g_recordOn.store(false);
  Pump(r, 2);
  EXPECT_EQ(r.State(), kStreamIdle);
  EXPECT_EQ(StatusLine(), "Status : Stopped...");
  EXPECT_TRUE(Files(".tmp_wav").empty());
  ASSERT_EQ(Files(".wav").size(), 1u);

  FormatWithAttribute rec;
  std::vector<uint16_t> s = WaveSamples(Files(".wav")[0], &rec);
  EXPECT_GT(s.size(), 100000u);
  EXPECT_TRUE(Unbroken(s));
  EXPECT_EQ(std::tuple(rec.format.sampleRate, rec.format.avgBytesPerSec), std::tuple(25000u, 50000u));
  AttributeParts a = ParseAttribute(rec.AttributeText());
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(std::tuple(a.r, a.e, a.k), std::tuple(25000, 10, 250));
  EXPECT_EQ(std::tuple(Field(a.body, "DEV"), Field(a.body, "DC"), Field(a.body, "CMT"), Field(a.body, "GPS")),
            std::tuple("HX302", "On", "a,b", std::nullopt));
}

TEST_F(StreamRecorderTest, BufferedSnapHoldsExactlyTheDurationBeforeRecord) {
  g_settings.MenuRecordMode.store(kModeBufferedSnap);
  g_settings.SnapDurationMS.store(2500);
  StreamRecorder r(&conduit_);
  Pump(r, 200);  // more than 2.5 s of stream (1.25 MB) fill the delay line
  const uint16_t atRecord = next_;
  g_recordOn.store(true);
  for (int i = 0; i < 400 && g_recordOn.load(); ++i) Pump(r, 1);
  EXPECT_FALSE(g_recordOn.load());  // turned off by itself
  Pump(r, 2);
  EXPECT_EQ(StatusLine(), "Status : Stopped...");
  ASSERT_EQ(Files(".wav").size(), 1u);
  FormatWithAttribute rec;
  std::vector<uint16_t> s = WaveSamples(Files(".wav")[0], &rec);
  EXPECT_EQ(s.size() * 2, 1250000u);
  EXPECT_TRUE(Unbroken(s));
  // The snapshot ends at the mark, placed when the recorder saw Record on
  // (at most one pump of 4096 samples after the switch).
  EXPECT_LE(uint16_t(s.back() + 1 - atRecord), 4096u);
}

TEST_F(StreamRecorderTest, AudioModeHasNoAttributeAndContinuousRollsOver) {
  g_settings.MenuRecordMode.store(kModeAudio);
  StreamRecorder r(&conduit_);
  g_recordOn.store(true);
  Pump(r, 5);
  g_recordOn.store(false);
  Pump(r, 2);
  ASSERT_EQ(Files(".wav").size(), 1u);
  std::vector<uint8_t> bytes = ReadAllBytes(Files(".wav")[0]);
  EXPECT_EQ(Le32At(bytes, 16), 16u);
  EXPECT_EQ(Le32At(bytes, 24), 44100u);
  std::filesystem::remove(Files(".wav")[0]);

  // A file that reaches its limit is finished and the stream goes on in the next.
  g_settings.MenuRecordMode.store(kModeContinuous);
  r.SetRollOverBytes(60000);
  g_recordOn.store(true);
  Pump(r, 30);
  g_recordOn.store(false);
  Pump(r, 2);
  std::vector<std::string> files = Files(".wav");
  ASSERT_GE(files.size(), 3u);
  std::vector<uint16_t> all;
  for (const std::string& f : files) {
    FormatWithAttribute rec;
    std::vector<uint16_t> s = WaveSamples(f, &rec);
    EXPECT_LE(s.size() * 2, 60000u);
    EXPECT_GT(rec.format.extraSize, 0);
    all.insert(all.end(), s.begin(), s.end());
  }
  EXPECT_TRUE(Unbroken(all)) << ::testing::PrintToString(files);  // nothing lost between the files
}

TEST_F(StreamRecorderTest, OpenFailureShowsFailedUntilRecordGoesOff) {
  g_recordBasePath.Set(dir / "missing/site.wav");
  StreamRecorder r(&conduit_);
  g_recordOn.store(true);
  Pump(r, 3);
  EXPECT_EQ(r.State(), kStreamFailed);
  EXPECT_EQ(StatusLine(), "Status : Failed");
  g_recordOn.store(false);
  Pump(r, 1);
  EXPECT_EQ(r.State(), kStreamIdle);
}

// The size limit of the child makes the disk "full" after 200000 bytes (the
// file objects' own tests and tests/field/station_faults_test.sh fill a real tmpfs).
TEST_F(StreamRecorderTest, FullDiskFailsTheRecordingAndKeepsEarlierFiles) {
  std::ofstream(dir / "earlier.wav") << "an earlier recording";
  const int exit = RunInChild([&] {
    StreamRecorder r(&conduit_);
    g_recordOn.store(true);
    for (int i = 0; i < 200 && r.State() != kStreamFailed; ++i) Pump(r, 1);
    if (r.State() != kStreamFailed || StatusLine() != "Status : Failed") return 1;
    g_recordOn.store(false);
    Pump(r, 1);
    return r.State() == kStreamIdle ? 0 : 2;
  }, 200000);
  EXPECT_EQ(exit, 0);
  EXPECT_EQ(Files(".tmp_wav").size(), 1u);
  EXPECT_EQ(Files(".wav"), std::vector<std::string>{dir / "earlier.wav"});  // none finished
  EXPECT_EQ(ReadAllBytes(dir / "earlier.wav").size(), 20u);
}

}  // namespace
}  // namespace hv
