#include "recording/auto_snap_recorder.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "call_scene.h"
#include "calls/call_file.h"
#include "core/file_ops.h"
#include "formats/guano_chunk.h"
#include "recording/recorder_fixture.h"
#include "support/process.h"

namespace hv {
namespace {

class AutoSnapTest : public RecorderTest {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    g_settings.MenuRecordMode.store(kModeAutoSnap);
    g_settings.SnapAutoTrigger.store(false);
    g_settings.SonoThreshold.store(20.0f);
    g_settings.PopFilterEnable.store(true);
    g_settings.SnapDurationMS.store(100);  // 25000 samples at 250 kHz
    format_ = MakeWaveFormat(3906, 1, 272, 2176);
    conduit_.Create(272 * 4000, &format_);
  }
  void TearDown() override {
    SetSnapshotFinishedHook(nullptr);
    RecorderTest::TearDown();
  }
  // Sends `count` frames; those listed in `triggers` carry a call.
  void Send(AutoSnapRecorder& r, int count, std::initializer_list<int> triggers = {}) {
    for (int i = 0; i < count; ++i, ++frame_) {
      SpectrumFrame f{};
      f.peakLevel = 5.0f;
      f.harmonicRatio = 10.0f;
      for (int t : triggers)
        if (t == frame_) f.peakLevel = 30.0f;
      for (int k = 0; k < 64; ++k) {
        const int64_t n = int64_t(frame_ - streamStart_) * 64 + k;
        f.samples[k] = signal_ ? signal_(n) : float(base_ + n % period_);
      }
      uint32_t accepted = 0;
      conduit_.Write(sizeof f, &f, &accepted);
      ASSERT_EQ(accepted, sizeof f);
      while (r.Pass()) {
      }
    }
  }
  std::string Log() const {
    std::vector<std::string> logs = Files("_log.txt");
    return logs.empty() ? "" : testutil::ReadText(logs[0]);
  }
  // A new stream from the next frame on: its samples count from `base` up, modulo `period`.
  void NewStream(const WaveFormat& format, int base, int period) {
    ASSERT_EQ(conduit_.AnnounceFormat(format), kStatusOk);
    streamStart_ = frame_;
    base_ = base;
    period_ = period;
  }
  WaveFormat format_;
  Conduit conduit_;
  int frame_ = 0;
  int streamStart_ = 0, base_ = 0, period_ = 20000;
  std::function<float(int64_t)> signal_;  // the stream's samples, when not the counter
};

TEST_F(AutoSnapTest, SnapshotStartsSixteenFramesBeforeTheTrigger) {
  AutoSnapRecorder r(&conduit_);
  Send(r, 40);
  g_recordOn.store(true);
  Send(r, 60, {80});
  EXPECT_EQ(r.State(), kSnapRecording);
  Send(r, 420);  // 25000 samples are 391 frames
  ASSERT_EQ(Files(".wav").size(), 1u);
  EXPECT_TRUE(Files(".tmp_wav").empty());
  EXPECT_EQ(StatusLine(), "Status : Finished...");
  FormatWithAttribute rec;
  std::vector<uint16_t> s = WaveSamples(Files(".wav")[0], &rec);
  ASSERT_EQ(s.size(), 25000u);
  EXPECT_EQ(s[0], (80 - 16) * 64 % 20000);  // 1024 samples precede the triggering frame
  for (size_t i = 1; i < s.size(); ++i) ASSERT_EQ(s[i], (s[i - 1] + 1) % 20000) << i;
  EXPECT_EQ(rec.format.sampleRate, 25000u);
  AttributeParts a = ParseAttribute(rec.AttributeText());
  EXPECT_TRUE(a.ok);
  EXPECT_EQ(std::tuple(a.r, a.e, a.k), std::tuple(25000, 10, 250));

  const std::string log = Log();
  EXPECT_NE(log.find("] - record status:  STARTED\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] - recording file: site_D"), std::string::npos) << log;
  const std::string name = FileNamePart(Files(".wav")[0]);
  EXPECT_EQ(FileLine(), name.substr(0, name.size() - 4));
}

// A snapshot after the receiver changed takes the new receiver's header, rate, length and device.
TEST_F(AutoSnapTest, SnapshotAfterAStreamChangeTakesTheNewFormat) {
  AutoSnapRecorder r(&conduit_);
  g_recordOn.store(true);
  Send(r, 40);
  g_productText.Set("HX306");
  ASSERT_EQ(conduit_.AnnounceFormat(MakeWaveFormat(500000, 1, 272, 2176)), kStatusOk);
  Send(r, 900, {100});  // 50000 samples at 500 kHz are 782 frames
  EXPECT_EQ(r.StreamRate(), 500000.0);
  ASSERT_EQ(Files(".wav").size(), 1u);
  FormatWithAttribute rec;
  std::vector<uint16_t> s = WaveSamples(Files(".wav")[0], &rec);
  EXPECT_EQ(s.size(), 50000u);
  EXPECT_EQ(rec.format.sampleRate, 50000u);
  AttributeParts a = ParseAttribute(rec.AttributeText());
  EXPECT_EQ(std::tuple(a.r, a.k, Field(a.body, "DEV")), std::tuple(50000, 500, std::optional<std::string>("HX306")));
}

// A stream change finishes the snapshot at the change; a call just after it starts one at the new
// stream's first frame: each file holds one stream (old counts 0..19999, new from 21000 up).
TEST_F(AutoSnapTest, StreamChangeMidSnapshotKeepsEachFileToOneFormat) {
  struct Case {
    int trigger;  // frame of the call after the change
    int first;    // new stream's frame the second snapshot starts with
  };
  for (Case c : {Case{3, 0}, Case{15, 0}, Case{16, 0}, Case{40, 24}}) {
    SCOPED_TRACE(c.trigger);
    for (const std::string& f : Files(".wav")) std::filesystem::remove(f);
    frame_ = streamStart_ = base_ = 0;
    period_ = 20000;
    g_productText.Set("HX302");
    conduit_.Create(272 * 4000, &format_);
    AutoSnapRecorder r(&conduit_);
    g_recordOn.store(true);
    Send(r, 100, {60});  // the snapshot starts at frame 44
    ASSERT_EQ(r.State(), kSnapRecording);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the next snapshot's name is a later one
    g_productText.Set("HX306");
    NewStream(MakeWaveFormat(500000, 1, 272, 2176), 21000, 10000);
    Send(r, 900, {100 + c.trigger});  // 50000 samples at 500 kHz are 782 frames
    EXPECT_EQ(r.State(), kSnapIdle);
    EXPECT_EQ(StatusLine(), "Status : Finished...");
    EXPECT_TRUE(Files(".tmp_wav").empty());
    std::vector<std::string> files = Files(".wav");
    ASSERT_EQ(files.size(), 2u);

    struct Expect {
      size_t samples;
      uint16_t first;
      uint32_t rate;
      std::string device;
    };
    const Expect want[2] = {{56 * 64, 44 * 64, 250000, "HX302"},  // frames 44..99: up to the change, all of them
                            {50000, uint16_t(21000 + c.first * 64), 500000, "HX306"}};
    for (int k = 0; k < 2; ++k) {
      SCOPED_TRACE(k);
      FormatWithAttribute rec;
      std::vector<uint16_t> s = WaveSamples(files[k], &rec);
      ASSERT_EQ(s.size(), want[k].samples);
      EXPECT_EQ(s.front(), want[k].first);
      const uint16_t low = k == 0 ? 0 : 21000, high = k == 0 ? 20000 : 31000;
      for (size_t i = 0; i < s.size(); ++i) {
        ASSERT_TRUE(s[i] >= low && s[i] < high) << i << ": " << s[i];
        if (i > 0) ASSERT_EQ(s[i], low + (s[i - 1] - low + 1) % (high - low)) << i;
      }
      EXPECT_EQ(rec.format.sampleRate, want[k].rate / 10);
      AttributeParts a = ParseAttribute(rec.AttributeText());
      ASSERT_TRUE(a.ok);
      EXPECT_EQ(std::tuple(a.r, a.e, a.k, Field(a.body, "DEV")),
                std::tuple(int64_t(want[k].rate / 10), 10, int64_t(want[k].rate / 1000),
                           std::optional<std::string>(want[k].device)));
      char length[32];
      std::snprintf(length, sizeof length, "Length: %.6f\n", double(want[k].samples) / want[k].rate);
      EXPECT_TRUE(GuanoHas(files[k], {"Samplerate: " + std::to_string(want[k].rate) + "\n",
                                      "Model: " + want[k].device + "\n", length}));
    }
    g_recordOn.store(false);
    r.Idle();
  }
}

// Snapshot call count and median peak go to GUANO and the daily log, matching the calls found in
// the file; hourly lines come with the next hour's call and at stop; CallDetection off omits all.
TEST_F(AutoSnapTest, SnapshotCallsInGuanoAndDailyLogAndHourlyLines) {
  g_settings.SnapDurationMS.store(2500);
  sim::SceneOptions options;
  options.rate = 250000;
  options.snrDb = 20;
  sim::CallScene scene(options);
  std::vector<int16_t> x(12 * 250000);
  scene.Fill(x.data(), x.size());
  signal_ = [&](int64_t n) { return float(x[size_t(n) % x.size()]); };
  auto at = [](std::time_t t) {
    StreamTime s;
    s.utcSeconds = t;
    SetReplayedStreamTime(s);
  };
  constexpr std::time_t kLate = 1706745590;  // 2024-01-31 23:59:50 UTC
  auto dayLog = [&](int k) {
    return testutil::ReadText(dir / (k == 0 ? "site_D20240131_log.txt" : "site_D20240201_log.txt"));
  };
  AutoSnapRecorder r(&conduit_);
  g_recordOn.store(true);
  at(kLate);
  int first[2];
  Send(r, 20, {19});  // the snapshot starts with frame 3
  first[0] = 3;
  Send(r, 9800);      // 625000 samples are 9766 frames
  at(kLate + 40);     // 00:00:30 the next day
  first[1] = frame_ + 25 - 16;
  Send(r, 30, {frame_ + 25});
  Send(r, 9800);
  ASSERT_EQ(r.State(), kSnapIdle);
  std::vector<std::string> files = Files(".wav");
  ASSERT_EQ(files.size(), 2u);
  int calls[2], passes[2];
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    FileCalls found;
    std::string error;
    ASSERT_TRUE(DetectFileCalls(files[k], {}, &found, &error)) << error;
    EXPECT_NEAR(found.seconds, 2.5, 1e-6);
    calls[k] = int(found.calls.size());
    passes[k] = CountPasses(found.calls);
    // The scene's calls that lie wholly inside the snapshot.
    const double from = first[k] * 64 / 250000.0;
    int truth = 0;
    for (const sim::TrueCall& c : scene.truth()) truth += c.startS >= from && c.endS <= from + 2.5;
    EXPECT_GE(calls[k], 10);
    EXPECT_NEAR(calls[k], truth, 0.15 * truth + 2);
    std::vector<float> peaks;
    for (const CallMeasure& c : found.calls) peaks.push_back(c.fPeakHz / 1000);
    std::sort(peaks.begin(), peaks.end());
    char peak[32];
    std::snprintf(peak, sizeof peak, "%.1f", peaks[peaks.size() / 2]);
    EXPECT_TRUE(GuanoHas(files[k], {"\nHalvane|Calls: " + std::to_string(calls[k]) + "\n",
                                    "\nHalvane|Call Peak: " + std::string(peak) + "\n"}));
    const std::string name = FileNamePart(files[k]);
    const std::string log = dayLog(k);
    EXPECT_NE(log.find("] - recording calls: " + name.substr(0, name.size() - 4) + " " + std::to_string(calls[k]) +
                       " calls, peak " + peak + " kHz\n"),
              std::string::npos)
        << log;
  }
  const std::string hour23 = "LOG[2024:01:31::23:00:00] - calls in hour: " + std::to_string(calls[0]) + " calls, " +
                             std::to_string(passes[0]) + " pass";
  EXPECT_NE(dayLog(0).find(hour23), std::string::npos);
  const std::string hour0 = "LOG[2024:02:01::00:00:00] - calls in hour: " + std::to_string(calls[1]) + " calls, " +
                            std::to_string(passes[1]) + " pass";
  EXPECT_EQ(dayLog(1).find(hour0), std::string::npos) << "not before the end";
  g_recordOn.store(false);
  Send(r, 8);
  EXPECT_NE(dayLog(1).find(hour0), std::string::npos) << dayLog(1);

  // Switched off: no fields, no lines.
  g_settings.CallDetection.store(false);
  at(kLate + 3700);  // 01:01:30
  g_recordOn.store(true);
  Send(r, 30, {frame_ + 25});
  Send(r, 9800);
  g_recordOn.store(false);
  Send(r, 8);
  files = Files(".wav");
  ASSERT_EQ(files.size(), 3u);
  std::string guano;
  ASSERT_TRUE(ReadGuanoText(files[2], &guano));
  EXPECT_EQ(guano.find("Halvane|Call"), std::string::npos) << guano;
  const std::string log = dayLog(1);
  EXPECT_EQ(log.find("calls in hour", log.find(hour0) + hour0.size()), std::string::npos) << log;
  EXPECT_EQ(log.find("recording calls: " + FileNamePart(files[2]).substr(0, 20)), std::string::npos) << log;
}

// Passes: gaps under one second, across snapshots; a pass over an hour's end counts in both;
// a clock set back keeps the hour.
TEST(HourlyCallTally, PassesAndHours) {
  HourlyCallTally t;
  t.SetTimeStandard(0, 0);
  HourlyCallTally::Line done;
  const double h = 1706742000;  // 2024-01-31 23:00:00 UTC
  EXPECT_FALSE(t.Observe(h + 10, &done));
  struct Call {
    double start, end;
    bool hourDone;
  };
  // gaps 0.999 (same pass), 1.0 (new), overlap, 2.0 (new), far (new), then the next hour 0.25 s on
  for (Call c : {Call{h + 100, h + 100.01, false}, Call{h + 101.009, h + 101.02, false},
                 Call{h + 102.02, h + 102.05, false}, Call{h + 102.03, h + 102.04, false},
                 Call{h + 104.04, h + 104.05, false}, Call{h + 3599.9, h + 3599.95, false},
                 Call{h + 3600.2, h + 3600.21, true}})
    ASSERT_EQ(t.AddCall(c.start, c.end, &done), c.hourDone) << c.start - h;
  EXPECT_EQ(std::tuple(done.hour.tm_hour, done.hour.tm_min, done.calls, done.passes, done.Detail()),
            std::tuple(23, 0, 6, 4, std::string("6 calls, 4 passes")));
  EXPECT_FALSE(t.Observe(h + 1800, &done));  // set back: still the new hour
  EXPECT_FALSE(t.AddCall(h + 1900, h + 1900.01, &done));
  ASSERT_TRUE(t.Close(&done));
  EXPECT_EQ(std::tuple(done.hour.tm_mday, done.hour.tm_hour, done.Detail()),
            std::tuple(1, 0, std::string("2 calls, 1 pass")));
  EXPECT_FALSE(t.Close(&done));
  t.SetTimeStandard(1, -90);  // local time 90 minutes east of UTC: hours start at :30 UTC
  EXPECT_FALSE(t.Observe(h + 1799, &done));
  EXPECT_TRUE(t.Observe(h + 1800, &done));
  EXPECT_EQ(std::tuple(done.hour.tm_mday, done.hour.tm_hour, done.calls), std::tuple(1, 0, 0));
}

TEST_F(AutoSnapTest, TriggerTestAndSampleConversion) {
  SpectrumFrame f{};
  f.peakLevel = 20.0f;  // equal to the threshold: no trigger
  f.harmonicRatio = 4.9f;
  EXPECT_FALSE(AutoSnapRecorder::Triggered(f));
  f.peakLevel = 20.5f;
  EXPECT_TRUE(AutoSnapRecorder::Triggered(f));  // 4.9 passes the pop filter
  f.harmonicRatio = 4.8f;
  EXPECT_FALSE(AutoSnapRecorder::Triggered(f));
  g_settings.PopFilterEnable.store(false);
  EXPECT_TRUE(AutoSnapRecorder::Triggered(f));
  g_settings.SnapAutoTrigger.store(true);  // level above the noise floor against 18 dB
  f.noiseFloor = 2.5f;
  EXPECT_FALSE(AutoSnapRecorder::Triggered(f));
  f.noiseFloor = 2.4f;
  EXPECT_TRUE(AutoSnapRecorder::Triggered(f));

  for (auto [in, out] : {std::pair{40000.0f, 32767}, {-40000.0f, -32767}, {-32768.0f, -32767}, {-1.9f, -1}, {1.9f, 1}})
    EXPECT_EQ(AutoSnapRecorder::ConvertSample(in), out) << in;
}

TEST_F(AutoSnapTest, IdleTimeoutEndsEarlyAndEachTriggerRestartsIt) {
  g_settings.SnapIdleTimeoutEnable.store(true);
  g_settings.SnapIdleTimeoutMS.store(20);  // 5000 samples
  AutoSnapRecorder r(&conduit_);
  g_recordOn.store(true);
  Send(r, 100, {40});
  Send(r, 100);
  Send(r, 150, {260, 300});
  Send(r, 100);
  std::vector<std::string> files = Files(".wav");
  ASSERT_EQ(files.size(), 2u);
  FormatWithAttribute rec;
  size_t first = WaveSamples(files[0], &rec).size(), second = WaveSamples(files[1], &rec).size();
  EXPECT_GE(first, 5000u);
  EXPECT_LE(first, 5000u + 2 * 64);
  EXPECT_EQ(second, first + 40 * 64);  // the second call, 40 frames later, restarted the countdown
}

TEST_F(AutoSnapTest, RecordOffClosesTheSnapshotEvenWithoutFrames) {
  AutoSnapRecorder r(&conduit_);
  g_recordOn.store(true);
  Send(r, 40, {20});
  EXPECT_EQ(r.State(), kSnapRecording);
  g_recordOn.store(false);
  r.Idle();  // no frames arrive
  EXPECT_EQ(r.State(), kSnapIdle);
  EXPECT_EQ(StatusLine(), "Status : Stopped");
  EXPECT_EQ(Files(".wav").size(), 1u);
  EXPECT_TRUE(Files(".tmp_wav").empty());
  r.Idle();
  EXPECT_NE(Log().find("record status:  STOPPED"), std::string::npos);

  // A snapshot that cannot be opened shows Failed, with the reason, until Record goes off.
  g_recordBasePath.Set(dir / "missing/site.wav");
  g_recordOn.store(true);
  Send(r, 48, {frame_ + 18});
  EXPECT_EQ(r.State(), kSnapFailed);
  EXPECT_EQ(StatusLine().rfind("Status : Failed - could not create site_D", 0), 0u) << StatusLine();
  EXPECT_NE(StatusLine().find(".tmp_wav: No such file or directory"), std::string::npos) << StatusLine();
  g_recordOn.store(false);
  r.Idle();
  EXPECT_EQ(r.State(), kSnapIdle);
}

// Frozen clock: each snapshot takes the next free millisecond (name and attribute time agree),
// leaving existing files alone; a final name taken meanwhile keeps the temporary name, failed.
TEST_F(AutoSnapTest, FrozenClockNeverCostsASnapshot) {
  StreamTime frozen;
  frozen.utcSeconds = 1706745599;  // 2024-01-31 23:59:59.123 UTC
  frozen.milliseconds = 123;
  SetReplayedStreamTime(frozen);
  std::ofstream(dir / "site_D20240131T235959m123.wav") << "theirs";
  // The finished-snapshot hook sees each snapshot once, under its final name, already there.
  static std::vector<std::string> finished;
  finished.clear();
  SetSnapshotFinishedHook([](const std::string& recording) {
    finished.push_back(FileNamePart(recording) + (std::filesystem::exists(recording) ? "" : " (missing)"));
  });
  AutoSnapRecorder r(&conduit_);
  g_recordOn.store(true);
  for (int k = 0; k < 3; ++k) Send(r, 420, {frame_ + 20});
  EXPECT_EQ(StatusLine(), "Status : Finished...");
  std::vector<std::string> names;
  for (const std::string& f : Files(".wav")) names.push_back(FileNamePart(f));
  EXPECT_EQ(names, (std::vector<std::string>{"site_D20240131T235959m123.wav", "site_D20240131T235959m124.wav",
                                             "site_D20240131T235959m125.wav", "site_D20240131T235959m126.wav"}));
  EXPECT_EQ(finished, (std::vector<std::string>(names.begin() + 1, names.end())));
  EXPECT_EQ(testutil::ReadText(dir / "site_D20240131T235959m123.wav"), "theirs");
  for (int ms = 124; ms <= 126; ++ms) {
    FormatWithAttribute rec;
    EXPECT_EQ(WaveSamples(dir / ("site_D20240131T235959m" + std::to_string(ms) + ".wav"), &rec).size(), 25000u);
    EXPECT_EQ(Field(ParseAttribute(rec.AttributeText()).body, "UTC"), "2024:01:31::23:59:59." + std::to_string(ms));
  }

  // Someone else's file appears under the next snapshot's final name.
  Send(r, 100, {frame_ + 20});
  ASSERT_EQ(r.State(), kSnapRecording);
  std::ofstream(dir / "site_D20240131T235959m127.wav") << "late";
  Send(r, 320);
  ClearReplayedStreamTime();
  EXPECT_EQ(r.State(), kSnapIdle);  // ready for the next snapshot
  const std::string why = "could not rename it to site_D20240131T235959m127.wav: File exists; "
                          "kept as site_D20240131T235959m127.tmp_wav";
  EXPECT_EQ(StatusLine(), "Status : Failed - " + why);
  EXPECT_NE(Log().find("] - recording failed: " + why + "\n"), std::string::npos) << Log();
  EXPECT_EQ(testutil::ReadText(dir / "site_D20240131T235959m127.wav"), "late");
  EXPECT_EQ(finished.size(), 3u);  // not for the snapshot that kept its temporary name
  FormatWithAttribute rec;
  EXPECT_EQ(WaveSamples(dir / "site_D20240131T235959m127.tmp_wav", &rec).size(), 25000u);  // closed, whole
}

}  // namespace
}  // namespace hv
