// The whole station on a real (virtual) X display: a recording of bat calls is
// replayed from the command line through conditioning, the spectrum thread and
// the display thread, and the live spectrogram in the main window fills with
// coloured captures. Runs under scripts/with-xvfb; the screenshot goes to the artifacts.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::string ArtifactDir() {
  const char* dir = std::getenv("HALVANE_ARTIFACT_DIR");
  return dir && *dir ? dir : ".";
}

struct Screenshot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

Screenshot TakeScreenshot(const std::string& name) {
  std::string png = ArtifactDir() + "/" + name + ".png", ppm = ArtifactDir() + "/" + name + ".ppm";
  EXPECT_EQ(std::system(("import -window root '" + png + "' && convert '" + png + "' '" + ppm + "'").c_str()), 0);
  Screenshot shot;
  std::ifstream in(ppm, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> shot.width >> shot.height >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255) return Screenshot{};
  shot.rgb.resize(size_t(shot.width) * shot.height * 3);
  in.read(reinterpret_cast<char*>(shot.rgb.data()), std::streamsize(shot.rgb.size()));
  return shot;
}

TEST(StationScreen, ReplayedCallsAppearInTheSpectrogram) {
  namespace fs = std::filesystem;
  fs::path work = fs::temp_directory_path() / ("halvane-display-station-" + std::to_string(getpid()));
  fs::create_directories(work / "config");
  fs::create_directories(work / "instances");
  std::string binary = std::string(HALVANE_BUILD_DIR) + "/apps/halvane/halvane";
  std::string recording = std::string(HALVANE_TESTDATA_DIR) + "/audiomoth-250k-guano.wav";
  ASSERT_TRUE(fs::exists(recording)) << recording;
  std::string instanceVar = "HALVANE_INSTANCE_DIR=" + (work / "instances").string();
  std::vector<std::string> args = {binary, "--config", (work / "config").string(), "--device", "IP127.0.0.21",
                                   "--audio", "null", "--play", recording, "--loop", "--run-for", "9"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  env.push_back(instanceVar.data());
  env.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv.data(), env.data()), 0);

  std::this_thread::sleep_for(std::chrono::seconds(5));
  Screenshot shot = TakeScreenshot("station_spectrogram");

  // Spectrogram pixels right of the Playback window: blue noise floor, and the
  // calls' green and warmer colours, which nothing else on the screen uses.
  int floor = 0, calls = 0;
  for (int y = 0; y < shot.height; ++y)
    for (int x = shot.width / 2; x < shot.width; ++x) {
      const uint8_t* p = &shot.rgb[(size_t(y) * shot.width + x) * 3];
      int r = p[0], g = p[1], b = p[2];
      floor += r == 0 && g < 40 && b > 100;
      calls += r < 60 && g > 160 && b < 100;
    }
  EXPECT_GT(floor, 5000);
  EXPECT_GT(calls, 30);

  int status = -1;
  for (int i = 0; i < 200 && waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "the station did not end after --run-for";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  fs::remove_all(work);
}

}  // namespace
