// What counting a snapshot's calls costs the Auto Snap recorder: a 2.5 s
// snapshot at 250 kHz (a scene of calls and clicks at 20 dB) fed to the call
// detector 64 samples at a time as the recorder writes them, and the longest
// single step (a frame's push or the finish at closing), beside the spectrum
// analyser making the same 2.5 s of frames (the station's own cost) in the
// same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "call_scene.h"
#include "../calls/analyser_reference.h"
#include "recording/snapshot_calls.h"

namespace {

constexpr int kRate = 250000;
constexpr size_t kSnapshot = kRate * 5 / 2;
double g_longestStepUs = 0;
size_t g_calls = 0;

// This thread's CPU time: a step's own cost, not the time others took the core.
double ThreadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

std::vector<float> Snapshot() {
  hv::sim::SceneOptions options;
  options.clicks = true;
  hv::sim::CallScene scene(options);
  std::vector<int16_t> raw(kSnapshot);
  scene.Fill(raw.data(), raw.size());
  return std::vector<float>(raw.begin(), raw.end());
}

void BM_SnapshotCalls(benchmark::State& state) {
  std::vector<float> audio = Snapshot();
  for (auto _ : state) {
    hv::SnapshotCalls calls;
    calls.Start(kRate, 0.0f);
    for (size_t at = 0; at < audio.size(); at += 64) {
      const double t0 = ThreadCpuUs();
      calls.Push(audio.data() + at, std::min<size_t>(64, audio.size() - at));
      g_longestStepUs = std::max(g_longestStepUs, ThreadCpuUs() - t0);
    }
    const double t0 = ThreadCpuUs();
    g_calls = calls.Finish().calls.size();
    g_longestStepUs = std::max(g_longestStepUs, ThreadCpuUs() - t0);
  }
}
BENCHMARK(BM_SnapshotCalls)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_Analyser(benchmark::State& state) { hv::bench::AnalyseAll(state, Snapshot(), kRate); }
BENCHMARK(BM_Analyser)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  hv::bench::MedianCpuReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::map<std::string, double>& cpuMs = reporter.cpu;
  if (cpuMs.count("BM_SnapshotCalls") && cpuMs.count("BM_Analyser"))
    std::printf("Calls of a 2.5 s snapshot at %d samples/s: %.2f ms CPU (%zu calls), longest single step %.0f us CPU; "
                "spectrum analyser on the same 2.5 s (reference): %.2f ms\n",
                kRate, cpuMs["BM_SnapshotCalls"], g_calls, g_longestStepUs, cpuMs["BM_Analyser"]);
  benchmark::Shutdown();
  return 0;
}
