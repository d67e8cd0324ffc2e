// The whole station on a real (virtual) X display: a recording of bat calls is
// replayed from the command line through conditioning, the spectrum thread and
// the display thread, and the live spectrogram in the main window fills with
// coloured captures. Runs under scripts/with-xvfb; the screenshot goes to the artifacts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "support/files.h"
#include "support/process.h"
#include "ui/screen_test_support.h"

namespace {

using namespace hv::screentest;

TEST(StationScreen, ReplayedCallsAppearInTheSpectrogram) {
  TempFolder work;
  std::string recording = std::string(HALVANE_TESTDATA_DIR) + "/audiomoth-250k-guano.wav";
  ASSERT_TRUE(std::filesystem::exists(recording)) << recording;
  setenv("HALVANE_INSTANCE_DIR", (work / "instances").c_str(), 1);
  const std::string out = work / "station.out";
  pid_t pid = hv::testutil::Spawn({std::string(HALVANE_BUILD_DIR) + "/apps/halvane/halvane", "--config",
                                   work / "config", "--device", "IP127.0.0.21", "--audio", "null",
                                   "--play", recording, "--loop", "--run-for", "9"},
                                  out);
  ASSERT_GT(pid, 0);

  std::this_thread::sleep_for(std::chrono::seconds(5));
  Screenshot shot = TakeScreenshot("station_spectrogram", -1);

  // Spectrogram pixels right of the Playback window: blue noise floor, and the
  // calls' green and warmer colours, which nothing else on the screen uses.
  const int half = shot.width / 2;
  auto rightHalf = [&](auto match) { return shot.Count(half, 0, shot.width - half, shot.height, match); };
  EXPECT_GT(rightHalf([](uint32_t p) { return p >> 16 == 0 && ((p >> 8) & 255) < 40 && (p & 255) > 100; }), 5000);
  EXPECT_GT(rightHalf([](uint32_t p) { return p >> 16 < 60 && ((p >> 8) & 255) > 160 && (p & 255) < 100; }), 30);

  // The station ends by itself after --run-for (it is killed after 20 s).
  EXPECT_EQ(hv::testutil::Wait(pid, 20), 0) << hv::testutil::ReadText(out);
}

}  // namespace
