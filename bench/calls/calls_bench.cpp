// The call detector's cost per second of audio at 250 kHz (a scene of calls
// and clicks at 20 dB), printed beside the spectrum thread's own analyser
// making the frames of the same second in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "call_scene.h"
#include "calls/call_detector.h"
#include "dsp/frame_analyser.h"

namespace {

constexpr int kRate = 250000;
std::map<std::string, double> g_cpuMs;  // median CPU ms per second of audio
double g_callsPerSecond = 0;

std::vector<float> OneSecond() {
  hv::sim::SceneOptions options;
  options.clicks = true;
  hv::sim::CallScene scene(options);
  std::vector<int16_t> raw(kRate);
  scene.Fill(raw.data(), raw.size());
  return std::vector<float>(raw.begin(), raw.end());
}

void BM_Detector(benchmark::State& state) {
  std::vector<float> audio = OneSecond();
  size_t calls = 0;
  for (auto _ : state) {
    hv::CallDetector detector(kRate);
    detector.Push(audio.data(), audio.size());
    detector.Finish();
    calls = detector.calls().size();
    benchmark::DoNotOptimize(calls);
  }
  g_callsPerSecond = double(calls);
}
BENCHMARK(BM_Detector)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_Analyser(benchmark::State& state) {
  std::vector<float> audio = OneSecond();
  hv::SpectrumAnalyser analyser;
  hv::SnapshotBand band = hv::SnapshotBandBins(15000, 125000, kRate / 2);
  hv::SpectrumFrame frames[hv::SpectrumAnalyser::kMaxBatch];
  for (auto _ : state) {
    for (size_t at = 0; at + 64 * 20 + 256 <= audio.size(); at += 64 * 20)
      analyser.MakeFrames(audio.data() + at, 20, band, 0.0f, frames);
    benchmark::DoNotOptimize(frames);
  }
}
BENCHMARK(BM_Analyser)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);

class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.aggregate_name == "median") g_cpuMs[r.run_name.function_name] = r.GetAdjustedCPUTime();
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (g_cpuMs.count("BM_Detector") && g_cpuMs.count("BM_Analyser")) {
    double detector = g_cpuMs["BM_Detector"], analyser = g_cpuMs["BM_Analyser"];
    std::printf("Call detector at %d samples/s: %.2f ms CPU per second of audio (%.0f x real time, %.0f calls "
                "measured in that second); spectrum analyser alone (reference): %.2f ms (%.0f x real time); "
                "detector / analyser = %.2f\n",
                kRate, detector, 1000.0 / detector, g_callsPerSecond, analyser, 1000.0 / analyser,
                detector / analyser);
  }
  benchmark::Shutdown();
  return 0;
}
