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
#include "analyser_reference.h"

namespace {

constexpr int kRate = 250000;
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

void BM_Analyser(benchmark::State& state) { hv::bench::AnalyseAll(state, OneSecond(), kRate); }
BENCHMARK(BM_Analyser)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  hv::bench::MedianCpuReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::map<std::string, double>& cpuMs = reporter.cpu;
  if (cpuMs.count("BM_Detector") && cpuMs.count("BM_Analyser")) {
    double detector = cpuMs["BM_Detector"], analyser = cpuMs["BM_Analyser"];
    std::printf("Call detector at %d samples/s: %.2f ms CPU per second of audio (%.0f x real time, %.0f calls "
                "measured in that second); spectrum analyser alone (reference): %.2f ms (%.0f x real time); "
                "detector / analyser = %.2f\n",
                kRate, detector, 1000.0 / detector, g_callsPerSecond, analyser, 1000.0 / analyser,
                detector / analyser);
  }
  benchmark::Shutdown();
  return 0;
}
