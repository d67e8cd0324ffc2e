// The whole station as a process, fed by the receiver simulator on loopback
// (127.0.0.40), its audio written by the wav: back end: the tuned tone's pitch
// and no underrun over 20 s of live input. The station needs about one core;
// this test runs alone (RUN_SERIAL) so that the live audio keeps its pace.
// (How the volume scales the audio and turns it off is proven on the
// conditioning thread and the settings, tests/dsp and tests/settings; that the
// sound threads play every fed sample unchanged, in sound_threads_test.cpp.)
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/simulator.h"
#include "wav_file.h"

namespace {

const std::string kApps = HALVANE_BUILD_DIR "/apps/";

using hv::testutil::ReadText;
using hv::testutil::Spawn;
using hv::testutil::Wait;
using hv::test::WavSamples;

// One station run: a simulator sending `signal` on `address`, the station with
// the wav: back end and `options`, for `seconds`.
struct StationRun {
  TempFolder dir;
  std::string wav = dir / "heard.wav", stderrText;
  pid_t sim = -1, station = -1;
  double seconds = 0;

  // Fails, starting nothing, when the simulator cannot be the one the station hears.
  ::testing::AssertionResult Start(const std::string& address, const std::string& signal,
                                   std::vector<std::string> options, double runSeconds) {
    seconds = runSeconds;
    std::filesystem::create_directories(dir / "cfg");
    std::filesystem::create_directories(dir / "inst");
    std::string error;
    sim = hv::testutil::StartSimulator(kApps + "halvane-sim/halvane-sim", address, {"--signal", signal},
                                       dir / "sim.out", &error);
    if (sim <= 0) return ::testing::AssertionFailure() << error;
    std::vector<std::string> args = {kApps + "halvane/halvane", "--headless", "--config", dir / "cfg",
                                     "--device", "IP" + address, "--audio", "wav:" + wav,
                                     "--run-for", std::to_string(static_cast<int>(seconds))};
    args.insert(args.end(), options.begin(), options.end());
    setenv("HALVANE_INSTANCE_DIR", (dir / "inst").c_str(), 1);
    station = Spawn(args, dir / "station.out", dir / "station.err");
    if (station <= 0) return ::testing::AssertionFailure() << "cannot start the station";
    return ::testing::AssertionSuccess();
  }
  // Waits for the station, stops the simulator; true when the station ended by itself.
  bool Finish() {
    int status = Wait(station, seconds + 20);
    if (sim > 0) {
      kill(sim, SIGTERM);
      Wait(sim, 5);
    }
    stderrText = ReadText(dir / "station.err");
    return status == 0;
  }
};

// Nanoseconds the named threads of a process have waited, runnable, for a CPU
// (the second field of /proc/<pid>/task/<tid>/schedstat); "" names every thread.
double RunQueueWait(pid_t pid, const std::string& name) {
  double total = 0;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::string comm = ReadText(task.path() / "comm");
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    if (!name.empty() && comm != name) continue;
    double run = 0, wait = 0;
    std::istringstream(ReadText(task.path() / "schedstat")) >> run >> wait;
    total += wait;
  }
  return total;
}

// Power at `hz` of a Hann-windowed stretch (Goertzel).
double PowerAt(const int16_t* x, size_t n, double hz) {
  double w = 2 * M_PI * hz / 44100.0, c = 2 * std::cos(w), s1 = 0, s2 = 0;
  for (size_t i = 0; i < n; ++i) {
    double hann = 0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1));
    double s0 = x[i] * hann + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// The strongest frequency: a 20 Hz scan of the audio band over the first
// 2205 samples (whose resolution matches the scan's step, so a tone between two
// steps is not lost in the sidelobes of a long window), then 1 Hz steps around
// its best over the whole stretch.
double PeakFrequency(const int16_t* x, size_t n) {
  double best = 0, bestPower = -1;
  size_t scan = std::min<size_t>(n, 2205);
  for (double f = 200; f < 21500; f += 20) {
    double p = PowerAt(x, scan, f);
    if (p > bestPower) bestPower = p, best = f;
  }
  double coarse = best;
  bestPower = -1;
  for (double f = coarse - 25; f <= coarse + 25; f += 1) {
    double p = PowerAt(x, n, f);
    if (p > bestPower) bestPower = p, best = f;
  }
  return best;
}

size_t FirstSound(const std::vector<int16_t>& pcm) {
  size_t i = 0;
  while (i < pcm.size() && std::abs(pcm[i]) < 100) ++i;
  return i;
}

// Runs of 32 or more zero samples after the tone began (a 16 kHz tone has none).
int SilentGaps(const std::vector<int16_t>& pcm, size_t from) {
  int gaps = 0;
  size_t run = 0;
  for (size_t i = from; i < pcm.size(); ++i) {
    run = pcm[i] == 0 ? run + 1 : 0;
    if (run == 32) ++gaps;
  }
  return gaps;
}

// "Sound output: N refills, M found the queue short, K quarters skipped".
bool RefillCounts(const std::string& text, long* refills, long* shortRefills) {
  size_t at = text.find("Sound output: ");
  return at != std::string::npos &&
         std::sscanf(text.c_str() + at, "Sound output: %ld refills, %ld found", refills, shortRefills) == 2;
}

TEST(StationAudio, TunedToneIsHeardAt16025HzWithoutUnderrunOver20Seconds) {
  StationRun run;
  ASSERT_TRUE(run.Start("127.0.0.40", "tone:45000", {"--set", "TuneFrequency=40000", "--set", "AudioVolume=3"}, 23));
  // How long the simulator and the conditioning thread wait for a CPU over
  // 18 s of the run: a machine too busy to keep them in real time cannot show
  // whether the sound output keeps pace.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  double simWait = RunQueueWait(run.sim, ""), dspWait = RunQueueWait(run.station, "conditioning");
  std::this_thread::sleep_for(std::chrono::seconds(18));
  simWait = (RunQueueWait(run.sim, "") - simWait) / 18e9;
  dspWait = (RunQueueWait(run.station, "conditioning") - dspWait) / 18e9;
  ASSERT_TRUE(run.Finish()) << run.stderrText;
  std::vector<int16_t> pcm = WavSamples(run.wav);
  size_t start = FirstSound(pcm);
  ASSERT_GT(pcm.size(), start + 21 * 44100) << "at least 20 s of tone in steady state; " << run.stderrText;
  EXPECT_NEAR(PeakFrequency(pcm.data() + start + 44100, 44100), 16025.0, 20.0);
  long refills = 0, shortRefills = 0;
  ASSERT_TRUE(RefillCounts(run.stderrText, &refills, &shortRefills)) << run.stderrText;
  // Steady state: from one second after the tone began (the station is still
  // setting up its analysers while the first audio plays).
  int gaps = SilentGaps(pcm, start + 44100);
  std::printf("%ld refills, %ld found the queue short, %d gaps in steady state over %.1f s of tone; "
              "waiting for a CPU: simulator %.0f%%, conditioning %.0f%% of the time\n",
              refills, shortRefills, gaps, (pcm.size() - start) / 44100.0, 100 * simWait, 100 * dspWait);
  RecordProperty("refills", static_cast<int>(refills));
  RecordProperty("short_refills", static_cast<int>(shortRefills));
  if (simWait > 0.1 || dspWait > 0.1) GTEST_SKIP() << "the machine is too busy to judge real-time audio";
  EXPECT_EQ(gaps, 0);
}

}  // namespace
