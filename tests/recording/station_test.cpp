// The whole station as a process, fed by the receiver simulator on loopback
// (127.0.0.30 .. 127.0.0.32): Continuous, Buffered Snap and Auto Snap recordings.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/file_ops.h"
#include "counter_sequence.h"
#include "formats/guano_chunk.h"
#include "recording/recording_files.h"
#include "support/process.h"
#include "support/simulator.h"

namespace hv {
namespace {

const std::string kBin = HALVANE_BUILD_DIR "/apps/";

using testutil::ReadText;
using testutil::Spawn;
using testutil::Wait;

class StationRecording : public ::testing::Test {
 protected:
  // Runs the simulator on `address` and the station with `options` for `seconds`.
  void RunStation(const std::string& address, const std::string& signal, std::vector<std::string> options,
                  double seconds) {
    for (const char* folder : {"cfg", "inst", "out"}) std::filesystem::create_directories(dir / folder);
    setenv("HALVANE_INSTANCE_DIR", (dir / "inst").c_str(), 1);
    std::string error;
    pid_t sim = testutil::StartSimulator(kBin + "halvane-sim/halvane-sim", address, {"--signal", signal},
                                         dir / "sim.txt", &error);
    ASSERT_GT(sim, 0) << error;
    std::vector<std::string> args = {kBin + "halvane/halvane", "--headless", "--config", dir / "cfg", "--device",
                                     "IP" + address, "--run-for", std::to_string(int(seconds))};
    args.insert(args.end(), options.begin(), options.end());
    pid_t station = Spawn(args, dir / "station.txt");
    ASSERT_GT(station, 0);
    EXPECT_EQ(Wait(station, seconds + 20), 0);
    kill(sim, SIGTERM);
    Wait(sim, 5);
    stdout_ = ReadText(dir / "station.txt");
  }
  std::vector<std::string> Files(const std::string& suffix) const { return FilesEndingWith(dir / "out", suffix); }
  // The file's record and sample count; true when its samples are one
  // unbroken stretch of the counter sequence.
  static bool CounterStretch(const std::string& path, FormatWithAttribute* rec, size_t* samples) {
    std::vector<uint16_t> s = WaveSamples(path, rec);
    *samples = s.size();
    uint64_t at = 0;
    return s.size() >= 3 && sim::CounterFind(reinterpret_cast<const int16_t*>(s.data()), s.size(), &at);
  }

  TempFolder dir;
  std::string stdout_;
};

TEST_F(StationRecording, ContinuousRecordingIsFinishedAndUnbroken) {
  ASSERT_NO_FATAL_FAILURE(
      RunStation("127.0.0.30", "counter", {"--mode", "continuous", "--record", dir / "out/site.wav"}, 5));
  EXPECT_TRUE(Files(".tmp_wav").empty()) << stdout_;
  std::vector<std::string> files = Files(".wav");
  ASSERT_EQ(files.size(), 1u) << stdout_;
  EXPECT_NE(FileNamePart(files[0]).find("site_D"), std::string::npos);
  FormatWithAttribute rec;
  size_t samples = 0;
  EXPECT_TRUE(CounterStretch(files[0], &rec, &samples));
  EXPECT_GT(samples, 250000u);  // more than one second of stream
  EXPECT_EQ(rec.format.sampleRate, 25000u);
  AttributeParts a = ParseAttribute(rec.AttributeText());
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(std::tuple(a.e, a.k), std::tuple(10, 250));
  for (const char* key : {"DEV", "DC", "UTC", "LTB"}) EXPECT_TRUE(Field(a.body, key)) << key << a.body;
}

TEST_F(StationRecording, BufferedSnapHoldsItsDurationAndTurnsRecordOff) {
  ASSERT_NO_FATAL_FAILURE(RunStation(
      "127.0.0.31", "counter", {"--mode", "buffered", "--set", "SnapDurationMS=2500", "--record", dir / "out/snap.wav"},
      9));
  std::vector<std::string> files = Files(".wav");
  ASSERT_EQ(files.size(), 1u) << stdout_;
  FormatWithAttribute rec;
  size_t samples = 0;
  EXPECT_TRUE(CounterStretch(files[0], &rec, &samples));
  EXPECT_EQ(samples * 2, 1250000u);
  EXPECT_NE(stdout_.find("Status : Stopped..."), std::string::npos) << stdout_;
}

TEST_F(StationRecording, AutoSnapRecordsCallsWithPicturesAndGuano) {
  ASSERT_NO_FATAL_FAILURE(RunStation("127.0.0.32", "calls",
                                     {"--mode", "autosnap", "--set", "SnapDurationMS=250", "--set",
                                      "SnapshotPictures=1", "--record", dir / "out/bats.wav"},
                                     5));
  EXPECT_FALSE(Files(".wav").empty()) << stdout_;
  // Each snapshot has its picture beside it and GUANO metadata after its samples.
  for (const std::string& file : Files(".wav")) {
    EXPECT_TRUE(std::filesystem::exists(file.substr(0, file.size() - 4) + ".png")) << file;
    std::string guano;
    EXPECT_TRUE(ReadGuanoText(file, &guano)) << file;
    EXPECT_NE(guano.find("\nTE: 10\nSamplerate: 250000\n"), std::string::npos) << guano;
  }
  // (The daily log of snapshots: auto_snap_recorder_test.cpp.)
  // At exit the settings, with this run's --set values, are saved in the --config folder.
  EXPECT_NE(ReadText(dir / "cfg/registry.json").find("\"SnapDurationMS\": 250"), std::string::npos);
}

}  // namespace
}  // namespace hv
