// CPU time per real transform of our FFT beside FFTW (single precision,
// FFTW_MEASURE, real-to-complex) measured in the same run, and ours again with
// its four-lane stages only.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <map>
#include <random>
#include <vector>

#include "dsp/real_fft.h"

namespace {

std::vector<float> RandomInput(int n) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> x(n);
  for (float& v : x) v = dist(rng);
  return x;
}

std::map<int, double> g_ours, g_fourLane, g_fftw;

void BM_RealFFT(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  hv::RealFFT fft(n);
  std::vector<float> x = RandomInput(n), out(n);
  for (auto _ : state) {
    fft.Transform(x.data(), out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_FFTW(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  float* in = fftwf_alloc_real(n);
  fftwf_complex* out = fftwf_alloc_complex(n / 2 + 1);
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
  std::vector<float> x = RandomInput(n);
  std::copy(x.begin(), x.end(), in);
  for (auto _ : state) {
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
  state.SetItemsProcessed(state.iterations());
}

// Ours with the four-lane stages only (what a processor without AVX runs).
void BM_RealFFTFourLane(benchmark::State& state) {
  const bool wide = hv::RealFFT::WideKernels();
  hv::RealFFT::UseWideKernels(false);
  BM_RealFFT(state);
  hv::RealFFT::UseWideKernels(wide);
}

BENCHMARK(BM_RealFFT)->Arg(256)->Arg(512)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RealFFTFourLane)->Arg(256)->Arg(512)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_FFTW)->Arg(256)->Arg(512)->Repetitions(5)->ReportAggregatesOnly(true);

// Reports per-size medians: ours beside FFTW's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.aggregate_name != "median") continue;
      std::string name = r.run_name.function_name;
      int n = std::stoi(r.run_name.args);
      double ns = r.GetAdjustedCPUTime();  // CPU time: steadier than wall time on a shared machine
      (name == "BM_RealFFT" ? g_ours : name == "BM_RealFFTFourLane" ? g_fourLane : g_fftw)[n] = ns;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (auto& [n, ours] : g_ours) {
    if (!g_fftw.count(n)) continue;
    std::printf("RealFFT %d points: %.1f ns per transform (four-lane stages only: %.1f ns), FFTW %.1f ns "
                "(reference); ratio %.2f (target <= 2)\n",
                n, ours, g_fourLane[n], g_fftw[n], ours / g_fftw[n]);
  }
  benchmark::Shutdown();
  return 0;
}
