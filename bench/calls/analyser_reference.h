// Shared by the call benchmarks: the spectrum analyser's own cost on the same
// audio (the reference each call figure is printed beside), and a reporter
// that keeps each benchmark's median CPU time by its function name.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "dsp/frame_analyser.h"

namespace hv::bench {

// Runs the analyser over `audio` (at `rate` samples/s) in batches of 20 hops,
// as the spectrum thread does.
inline void AnalyseAll(benchmark::State& state, const std::vector<float>& audio, int rate) {
  SpectrumAnalyser analyser;
  SnapshotBand band = SnapshotBandBins(15000, 125000, rate / 2);
  SpectrumFrame frames[SpectrumAnalyser::kMaxBatch];
  for (auto _ : state) {
    for (size_t at = 0; at + 64 * 20 + 256 <= audio.size(); at += 64 * 20)
      analyser.MakeFrames(audio.data() + at, 20, band, 0.0f, frames);
    benchmark::DoNotOptimize(frames);
  }
}

// Keeps the median CPU time (in the benchmark's unit) of every benchmark run.
class MedianCpuReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.aggregate_name == "median") cpu[r.run_name.function_name] = r.GetAdjustedCPUTime();
  }
  std::map<std::string, double> cpu;
};

}  // namespace hv::bench
