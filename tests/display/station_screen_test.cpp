// The whole station on a real (virtual) X display: a recording of bat calls is
// replayed from the command line through conditioning, the spectrum thread and
// the display thread, and the live spectrogram in the main window fills with
// coloured captures. Runs under scripts/with-xvfb; the screenshot goes to the artifacts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "support/process.h"
#include "ui/screen_test_support.h"

namespace {

using namespace hv::screentest;

TEST(StationScreen, ReplayedCallsAppearInTheSpectrogram) {
  namespace fs = std::filesystem;
  fs::path work = fs::temp_directory_path() / ("halvane-display-station-" + std::to_string(getpid()));
  fs::create_directories(work / "config");
  fs::create_directories(work / "instances");
  std::string recording = std::string(HALVANE_TESTDATA_DIR) + "/audiomoth-250k-guano.wav";
  ASSERT_TRUE(fs::exists(recording)) << recording;
  setenv("HALVANE_INSTANCE_DIR", (work / "instances").c_str(), 1);
  const std::string out = (work / "station.out").string();
  pid_t pid = hv::testutil::Spawn({std::string(HALVANE_BUILD_DIR) + "/apps/halvane/halvane", "--config",
                                   (work / "config").string(), "--device", "IP127.0.0.21", "--audio", "null",
                                   "--play", recording, "--loop", "--run-for", "9"},
                                  out);
  ASSERT_GT(pid, 0);

  std::this_thread::sleep_for(std::chrono::seconds(5));
  Screenshot shot = TakeScreenshot("station_spectrogram", -1);

  // Spectrogram pixels right of the Playback window: blue noise floor, and the
  // calls' green and warmer colours, which nothing else on the screen uses.
  int floor = 0, calls = 0;
  for (int y = 0; y < shot.height; ++y)
    for (int x = shot.width / 2; x < shot.width; ++x) {
      uint32_t p = shot.At(x, y), r = p >> 16, g = (p >> 8) & 255, b = p & 255;
      floor += r == 0 && g < 40 && b > 100;
      calls += r < 60 && g > 160 && b < 100;
    }
  EXPECT_GT(floor, 5000);
  EXPECT_GT(calls, 30);

  // The station ends by itself after --run-for (it is killed after 20 s).
  EXPECT_EQ(hv::testutil::Wait(pid, 20), 0) << hv::testutil::ReadText(out);
  fs::remove_all(work);
}

}  // namespace
