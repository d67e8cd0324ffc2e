// The whole station on a real (virtual) X display: a recording of bat calls
// (made here, and a real one when present) is replayed from the command line
// through conditioning, the spectrum thread and the display thread, and the
// live spectrogram in the main window fills with coloured captures. Runs under
// scripts/with-xvfb; the screenshots go to the artifacts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "signals.h"
#include "support/files.h"
#include "support/process.h"
#include "support/real_recordings.h"
#include "support/recorder_layouts.h"
#include "ui/screen_test_support.h"

namespace {

using namespace hv::screentest;

// Replays `recording` in a loop and checks the spectrogram on the screen. The
// station is pointed at `device`, a loopback address where nobody listens.
void ExpectCallsInTheSpectrogram(const std::string& recording, const std::string& shotName,
                                 const std::string& device) {
  TempFolder work;
  ASSERT_TRUE(std::filesystem::exists(recording)) << recording;
  setenv("HALVANE_INSTANCE_DIR", (work / "instances").c_str(), 1);
  const std::string out = work / "station.out";
  pid_t pid = hv::testutil::Spawn({std::string(HALVANE_BUILD_DIR) + "/apps/halvane/halvane", "--config",
                                   work / "config", "--device", device, "--audio", "null",
                                   "--play", recording, "--loop", "--run-for", "9"},
                                  out);
  ASSERT_GT(pid, 0);

  std::this_thread::sleep_for(std::chrono::seconds(5));
  Screenshot shot = TakeScreenshot(shotName, -1);

  // Spectrogram pixels right of the Playback window: blue noise floor, and the
  // calls' green and warmer colours, which nothing else on the screen uses.
  const int half = shot.width / 2;
  auto rightHalf = [&](auto match) { return shot.Count(half, 0, shot.width - half, shot.height, match); };
  EXPECT_GT(rightHalf([](uint32_t p) { return p >> 16 == 0 && ((p >> 8) & 255) < 40 && (p & 255) > 100; }), 5000);
  EXPECT_GT(rightHalf([](uint32_t p) { return p >> 16 < 60 && ((p >> 8) & 255) > 160 && (p & 255) < 100; }), 30);
  // The noise floor stays dark: the plot is mostly blue fading to black, and
  // the mid-scale and warmer colours (levels near and above the scale's middle)
  // are a small part of it.
  const int dark = rightHalf([](uint32_t p) { return p >> 16 == 0 && ((p >> 8) & 255) < 60 && (p & 255) > 0; });
  const int bright = rightHalf([](uint32_t p) {
    const uint32_t r = p >> 16, g = (p >> 8) & 255, b = p & 255;
    return (r == 0 && g >= 100) || (r > 0 && r < 255 && g > 0 && b == 0);
  });
  EXPECT_GT(dark, 4 * bright) << dark << " dark, " << bright << " bright";

  // The station ends by itself after --run-for (it is killed after 20 s).
  EXPECT_EQ(hv::testutil::Wait(pid, 20), 0) << hv::testutil::ReadText(out);
}

// Bat-like calls (80 to 30 kHz sweeps every 100 ms over low noise) at
// 250000 Hz, in a field recorder's layout (LIST before the data, GUANO after).
TEST(StationScreen, ReplayedCallsAppearInTheSpectrogram) {
  TempFolder work;
  auto calls = hv::sim::MakeCalls();
  std::vector<hv::test::RecorderFile> files = hv::test::RecorderFiles(6.0, [&](size_t samples, uint32_t rate) {
    std::vector<int16_t> s(rate == hv::sim::kSimSampleRate ? samples : 0);
    s.resize(calls->Fill(s.data(), s.size()));
    std::vector<uint8_t> bytes(2 * s.size());
    for (size_t i = 0; i < s.size(); ++i) hv::PutLe16(&bytes[2 * i], uint16_t(s[i]));
    return bytes;
  });
  ASSERT_EQ(files[0].headerRate, uint32_t(hv::sim::kSimSampleRate));
  hv::test::WriteRecorderFiles(work.path, {files[0]});
  ExpectCallsInTheSpectrogram(work / files[0].name, "station_spectrogram", "IP127.0.0.21");
}

TEST(StationScreen, ReplayedRealRecordingCallsAppearInTheSpectrogram) {
  REQUIRE_REAL_RECORDINGS("audiomoth-250k-guano.wav");
  ExpectCallsInTheSpectrogram(hv::test::RealRecording("audiomoth-250k-guano.wav"), "station_spectrogram_real",
                              "IP127.0.6.1");
}

}  // namespace
