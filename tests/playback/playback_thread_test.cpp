// The playback thread against conduit1: announced rates, pacing, pause, loop,
// stream time, refusals, the hand-over of conduit1, and the real recordings.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "formats/wavpack_file.h"
#include "playback/playback_state.h"
#include "recording/recorder_texts.h"
#include "recording/recording_files.h"
#include "replay_harness.h"
#include "support/files.h"
#include "support/real_recordings.h"
#include "support/recorder_layouts.h"

namespace hv {
namespace {

using test::Announcement;
using test::CountingSamples;
using test::ReplayRig;
using test::UtcText;
using test::WaitFor;
using test::WavContent;
using test::WriteWav;

constexpr const char* kAttribute =
    "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=Unit 7,DC=On,UTC=2024:01:31::23:59:59.900,LTB= -60,"
    "CMT=<pond, north>MMMMMMMMM ";

TEST(PlaybackThread, AnnouncesTheReplayRateOfEachTimeBase) {
  struct Case {
    uint32_t headerRate;
    bool attribute;
    int timeBase;
    uint32_t announced;
  } cases[] = {
      {25000, true, 0, 250000},   // E = 10 from the attribute
      {25000, true, 1, 125000},   // 1:2
      {25000, true, 2, 62500},    // 1:4, the initial ratio
      {25000, false, 0, 250000},  // no attribute, time-expanded header
      {250000, false, 0, 250000}, // no attribute, a recorder that wrote its real rate
  };
  for (const Case& c : cases) {
    std::string path = WriteWav(
        "rate.wav", {.rate = c.headerRate, .attribute = c.attribute ? kAttribute : "", .data = CountingSamples(2000)});
    ReplayRig rig(50.0);
    g_playback.timeBase.store(c.timeBase);
    rig.Play(path);
    ASSERT_TRUE(rig.WaitStopped(3));
    ASSERT_TRUE(WaitFor([&] { auto a = rig.Announcements(); return !a.empty() && a[0].bytes == 4000; }, 2));
    std::vector<Announcement> a = rig.Announcements();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].rate, c.announced) << c.headerRate << " " << c.timeBase;
    EXPECT_EQ(g_playbackStreamRate.load(), static_cast<float>(c.announced));
  }
}

TEST(PlaybackThread, PacesAtTheReplayRateAndKeepsRecordingTime) {
  // 0.2 s of a 250000 Hz stream at 1:2: 0.4 s of replay, at clock speed 2 about 0.2 s.
  WavContent wav{.attribute = kAttribute, .data = CountingSamples(50000)};
  std::string path = WriteWav("paced.wav", wav);
  ReplayRig rig(2.0);
  rig.KeepBytes();
  g_playback.timeBase.store(1);
  auto start = std::chrono::steady_clock::now();
  rig.Play(path);
  ASSERT_TRUE(rig.WaitStopped(3));
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GT(took, 0.18);
  EXPECT_LT(took, 0.6);
  // The position and the stream time run in recording seconds, across the month end,
  // with the attribute's bias (negative: east of Greenwich).
  EXPECT_NEAR(g_playback.position.load(), 0.2, 0.01);
  StreamTime t = CurrentStreamTime();
  EXPECT_EQ(UtcText(t).substr(0, 20), "2024-02-01 00:00:00.");
  EXPECT_GE(t.milliseconds, 90);
  EXPECT_EQ(std::tuple(t.biasMinutes, g_playbackDeviceText.Get(), g_fileCompensated.load()), std::tuple(-60, "Unit 7", true));
  EXPECT_EQ(rig.WaitBytes(wav.data.size()), wav.data);
}

// conduit1 never holds more than the samples due plus the one read whose first sample is due.
TEST(PlaybackThread, NeverRunsAheadOfItsClock) {
  WavContent wav{.rate = 250000, .data = CountingSamples(75000)};  // 0.3 s
  std::string path = WriteWav("ahead.wav", wav);
  ReplayRig rig(1.0);
  rig.KeepBytes();
  const double bytesPerSecond = 250000.0 * 2;
  auto start = std::chrono::steady_clock::now();
  rig.Play(path);
  size_t most = 0;
  double worst = -1e9;  // bytes beyond what was due, at the worst moment
  while (most < wav.data.size() && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    size_t have = rig.Bytes().size();
    double due = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * bytesPerSecond;
    worst = std::max(worst, static_cast<double>(have) - due);
    most = have;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  EXPECT_EQ(most, wav.data.size());
  EXPECT_LE(worst, 1024.0 + 64.0) << "bytes ahead of the clock";
}

// Three channels: 1024-byte reads split frames; the stream still carries every byte in order.
TEST(PlaybackThread, WavPackAndMultichannelFilesReplayWhole) {
  std::vector<uint8_t> samples = CountingSamples(20000, 7);
  std::string wv = test::TempFolder() + "stereo.wv";
  ASSERT_TRUE(WriteRecording<WavPackFile>(wv, MakeRecord(25000, kAttribute, 2, 4), samples));
  WavContent three{.channels = 3, .rate = 250000, .data = CountingSamples(3 * 1001)};
  for (auto [path, data] : {std::pair(wv, &samples), {WriteWav("three.wav", three), &three.data}}) {
    SCOPED_TRACE(path);
    ReplayRig rig(50.0);
    rig.KeepBytes();
    rig.Play(path);
    ASSERT_TRUE(rig.WaitStopped(3));
    EXPECT_EQ(rig.WaitBytes(data->size()), *data);
    if (data != &samples) continue;
    ASSERT_EQ(rig.Announcements().size(), 1u);
    EXPECT_EQ(std::tuple(rig.Announcements()[0].rate, rig.Announcements()[0].channels, g_playbackStreamChannels.load(),
                         g_playbackDeviceText.Get()),
              std::tuple(250000u, 2, 2, "Unit 7"));
  }
}

TEST(PlaybackThread, PauseResumesWhereItStopped) {
  WavContent wav{.rate = 250000, .data = CountingSamples(250000)};  // 1 s
  std::string path = WriteWav("pause.wav", wav);
  ReplayRig rig(4.0);
  rig.KeepBytes();
  rig.Play(path);
  ASSERT_TRUE(WaitFor([] { return g_playback.position.load() > 0.3; }, 2));
  g_playback.command.store(kPlaybackPause);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  double paused = g_playback.position.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // 1.2 s of replay time
  EXPECT_NEAR(g_playback.position.load(), paused, 0.005);
  g_playback.command.store(kPlaybackPlay);
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
  // No rush to catch up: about 0.1 s of replay after 25 ms at speed 4, not 1.3 s.
  EXPECT_LT(g_playback.position.load(), paused + 0.2);
  ASSERT_TRUE(rig.WaitStopped(3));
  EXPECT_EQ(rig.WaitBytes(wav.data.size()), wav.data);
}

TEST(PlaybackThread, LoopRestartsTheStreamTimeAndAnnouncesAgain) {
  std::string path = WriteWav("loop.wav", {.attribute = kAttribute, .data = CountingSamples(2500)});  // 0.01 s
  ReplayRig rig(1.0);
  g_playback.loop.store(true);
  rig.Play(path);
  bool wentBack = false;
  std::time_t latest = 0;
  int latestMs = 0;
  WaitFor([&] {
    StreamTime t = CurrentStreamTime();
    if (t.utcSeconds < latest || (t.utcSeconds == latest && t.milliseconds < latestMs)) wentBack = true;
    latest = t.utcSeconds, latestMs = t.milliseconds;
    return wentBack && rig.Announcements().size() >= 3;
  }, 2);
  EXPECT_TRUE(wentBack);
  EXPECT_GE(rig.Announcements().size(), 3u);
  EXPECT_EQ(g_playback.command.load(), kPlaybackPlay);
}

TEST(PlaybackThread, RefusesWhatTheChainCannotCarryAndFilesThatAreNotRecordings) {
  int files = 0;
  auto wav = [&](uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, std::string attribute = "") {
    return WriteWav("refused" + std::to_string(files++) + ".wav",
                    {tag, channels, rate, bits, 0, attribute, CountingSamples(600)});
  };
  const std::string folder = test::TempFolder();
  std::ofstream(folder + "empty.wav").flush();
  const char junk[] = "RIFF\x10\0\0\0WAVEfmt junk that is not a header";
  std::ofstream(folder + "corrupt.wav") << std::string(junk, sizeof junk - 1);
  struct Case {
    const char* name;
    std::string path;
    int timeBase = 0;
    float ratio = 4;
  } cases[] = {
      {"8-bit", wav(1, 1, 250000, 8)},
      {"24-bit", wav(1, 1, 250000, 24)},
      {"float", wav(3, 1, 250000, 32)},
      {"no channels", wav(1, 0, 250000, 16)},
      {"five channels", wav(1, 5, 250000, 16)},
      {"rate 0", wav(1, 1, 0, 16)},
      {"huge rate", wav(1, 1, 4000000, 16)},
      {"ratio 1:300000", wav(1, 1, 250000, 16), 2, 300000},
      {"expansion 0", wav(1, 1, 25000, 16, "MMMMMMMMM<&0&>DEV=x,CMT=<>MMMMMMMMM ")},
      {"huge expansion", wav(1, 1, 25000, 16, "MMMMMMMMM<&1000&>DEV=x,CMT=<>MMMMMMMMM ")},
      {"missing file", folder + "missing.wav"},
      {"empty file", folder + "empty.wav"},
      {"corrupt file", folder + "corrupt.wav"},
  };
  ReplayRig rig(1.0);
  for (const Case& c : cases) {
    g_playback.timeBase.store(c.timeBase);
    g_playback.ratio.store(c.ratio);
    testing::internal::CaptureStderr();
    rig.Play(c.path);
    bool stopped = rig.WaitStopped(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(stopped) << c.name;
    EXPECT_NE(said.find("Failed opening playback file " + c.path), std::string::npos) << c.name << ": " << said;
  }
  EXPECT_TRUE(rig.Announcements().empty());
}

TEST(PlaybackThread, LeavingPlaybackModeWaitsForTheLastWrite) {
  // A tiny conduit that nobody drains: the thread sits in its write loop.
  std::string path = WriteWav("handover.wav", {.rate = 250000, .data = CountingSamples(100000)});
  ReplayRig rig(1000.0, 8192);
  rig.SetDraining(false);
  rig.Play(path);
  ASSERT_TRUE(WaitFor([] { return conduit1.Available() > 8000; }, 2));
  PlaybackModeOff();
  ASSERT_TRUE(WaitFor([] { return !g_playbackActive.load(); }, 1));
  // Once the flag is down the playback thread writes nothing more.
  uint32_t held = conduit1.Available();
  rig.SetDraining(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(g_playback.command.load(), kPlaybackStop);
  uint64_t read = 0;
  for (const Announcement& a : rig.Announcements()) read += a.bytes;
  EXPECT_EQ(read, held);
  // And a replay asked for without the playback mode does not start.
  rig.Play(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(rig.Announcements().size(), 1u);
}

// Plays `path` at clock speed 25 to its end: it takes as long as `dataBytes` at `rate`, announces
// that rate, one channel and `device`, with the stream time from `utcStart` ("": none).
void ExpectPlayedToItsEnd(const std::string& path, uint32_t rate, uint64_t dataBytes, const std::string& device,
                          const std::string& utcStart, const std::vector<uint8_t>* data = nullptr) {
  SCOPED_TRACE(path);
  const double speed = 25.0;
  ReplayRig rig(speed);
  if (data) rig.KeepBytes();
  auto start = std::chrono::steady_clock::now();
  rig.Play(path);
  ASSERT_TRUE(rig.WaitStopped(5));
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double seconds = static_cast<double>(dataBytes) / 2 / rate;
  EXPECT_GT(took * speed, seconds * 0.9);
  // A loaded machine may start the thread late: up to 0.25 s of wall time on top.
  EXPECT_LT(took, (seconds * 1.5) / speed + 0.25);
  ASSERT_TRUE(WaitFor([&] { auto a = rig.Announcements(); return !a.empty() && a[0].bytes == dataBytes; }, 2));
  EXPECT_EQ(std::tuple(rig.Announcements()[0].rate, rig.Announcements()[0].channels, g_playbackDeviceText.Get()),
            std::tuple(rate, 1, device));
  if (data) EXPECT_TRUE(rig.Bytes() == *data) << "the samples are not exactly the data chunk's bytes";
  if (!utcStart.empty()) {
    std::string end = UtcText(AdvanceStreamTime(CurrentStreamTime(), -static_cast<int64_t>(seconds * 1000)));
    EXPECT_EQ(end.substr(0, 19), utcStart.substr(0, 19));
  }
}

// Other recorders' files: the real rate (GUANO TE applied), exactly the data chunk's bytes, device, start.
TEST(PlaybackThread, OtherRecordersFilesPlayToTheirEndAtTheirRealRate) {
  ::TempFolder dir;
  for (const test::RecorderFile& f : test::RecorderFiles()) {
    test::WriteRecorderFiles(dir.path, {f});
    ExpectPlayedToItsEnd(dir / f.name, f.realRate, f.data.size(), f.device, f.utcStart, &f.data);
  }
}

TEST(PlaybackThread, RealRecordingsPlayToTheirEndAtTheirRealRate) {
  REQUIRE_REAL_RECORDINGS("myomys-500k.wav", "audiomoth-250k-guano.wav", "audiomoth-250k-nocalls.wav",
                          "batlogger-312k-guano.wav", "selection-192k-list-id3.wav");
  struct Case {
    const char* file;
    uint32_t rate;
    uint64_t dataBytes;
    const char* device;
    const char* utcStart;
  } cases[] = {
      {"myomys-500k.wav", 500000, 500000, "<No device found>", ""},
      {"audiomoth-250k-guano.wav", 250000, 3362624, "Open Acoustic Devices AudioMoth", "2024-09-03 19:26:15"},
      {"audiomoth-250k-nocalls.wav", 250000, 52544, "Open Acoustic Devices AudioMoth", "2024-09-03 18:31:30"},
      {"batlogger-312k-guano.wav", 312500, 2521088, "BATLOGGER S2", "2024-05-31 22:39:11"},
      {"selection-192k-list-id3.wav", 192000, 768000, "<No device found>", ""},
  };
  for (const Case& c : cases)
    ExpectPlayedToItsEnd(test::RealRecording(c.file), c.rate, c.dataBytes, c.device, c.utcStart);
}

}  // namespace
}  // namespace hv
