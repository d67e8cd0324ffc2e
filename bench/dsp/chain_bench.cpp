// The whole signal chain on one core: CPU time per second of 16-bit input, from
// conduit1's blocks to conduit5, conduit6, conduit4 and conduit2 (compensation
// on, spectrum frames, spectral trace, tuning path with audio on), printed as
// "x real time" (seconds of input per CPU second) beside real time itself.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <vector>

#include "dsp/chain_fixture.h"

namespace {

std::map<int, double> g_cpuMs;  // median CPU milliseconds per input second, by rate

void BM_ChainOneSecond(benchmark::State& state) {
  const float rate = static_cast<float>(state.range(0));
  hv::ChainOnOneThread chain(rate);
  std::vector<uint8_t> input = hv::ChainOnOneThread::TestInput(rate, static_cast<int>(rate));
  chain.Run(input.data(), 64 * 1024);  // past the first fill of the tuning window
  for (auto _ : state) chain.Run(input.data(), input.size() / 1024 * 1024);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(chain.frames()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChainOneSecond)->Arg(250000)->Arg(500000)->Unit(benchmark::kMillisecond)->MinTime(0.5)
    ->Repetitions(5)->ReportAggregatesOnly(true);

class ChainReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.aggregate_name == "median") g_cpuMs[std::stoi(r.run_name.args)] = r.GetAdjustedCPUTime();
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ChainReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (auto& [rate, ms] : g_cpuMs) {
    double times = 1000.0 / ms;
    std::printf("Whole chain at %d samples/s: %.2f ms CPU per second of input = %.0f x real time "
                "(real time = 1 x; target >= %d x)\n",
                rate, ms, times, rate >= 500000 ? 117 : 200);
  }
  benchmark::Shutdown();
  return 0;
}
