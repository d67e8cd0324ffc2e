// Pictures of 60 s of 250 kHz mono audio: our picture (1024 x 400 PNG) beside
// `sox FILE -n spectrogram -o X.png` on the same file in the same run (the
// reference). Both figures are wall times of the whole job, file reading and
// PNG writing included; the target is under 1 s for ours.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/le_bytes.h"
#include "formats/wave_file.h"
#include "sono/sono_picture.h"

namespace {

const std::string kFolder = "/tmp/halvane_sono_bench_" + std::to_string(getpid());

// 60 s at 250 kHz: a quiet noise floor with a bat-like sweep every 100 ms.
const std::string& Recording() {
  static std::string path;
  if (!path.empty()) return path;
  std::filesystem::create_directories(kFolder);
  path = kFolder + "/night.wav";
  const uint32_t rate = 250000;
  const size_t n = size_t(rate) * 60;
  std::vector<uint8_t> bytes(n * 2);
  uint32_t seed = 1;
  double phase = 0;
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1664525u + 1013904223u;
    double noise = double(int32_t(seed) >> 23);
    double t = double(i % (rate / 10)) / rate;
    double call = 0;
    if (t < 0.005) {
      phase += 2 * M_PI * (80000.0 - 8.0e6 * t) / rate;
      call = 8000.0 * std::sin(phase) * std::sin(M_PI * t / 0.005);
    }
    hv::PutLe16(&bytes[2 * i], uint16_t(int16_t(noise + call)));
  }
  hv::WaveFile f;
  hv::FormatWithAttribute record;
  record.format = hv::MakeWaveFormat(rate, 1, 2, 16);
  record.SetAttribute("MMMMMMMMM(#250000#)<&1&>[!250!]DEV=Bench,DC=Off,UTC=2026:01:01::22:00:00.000,LTB=   0,"
                      "CMT=<sixty seconds>MMMMMMMMM ");
  f.SetGuanoMetadata(true);
  f.Open(path.c_str(), &record, hv::RecordingFile::kWrite);
  uint32_t taken = 0;
  for (size_t at = 0; at < bytes.size(); at += 1 << 20)
    f.Write(uint32_t(std::min<size_t>(1 << 20, bytes.size() - at)), &bytes[at], &taken);
  f.Close();
  return path;
}

void BM_HalvaneSonoPicture60s(benchmark::State& state) {
  const std::string& input = Recording();
  hv::SonoOptions options;
  std::string error;
  for (auto _ : state) {
    if (!hv::WriteSonoPicture(input, kFolder + "/ours.png", options, &error)) state.SkipWithError(error.c_str());
  }
}
BENCHMARK(BM_HalvaneSonoPicture60s)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SoxSpectrogram60s(benchmark::State& state) {
  const std::string command = "sox '" + Recording() + "' -n spectrogram -o '" + kFolder + "/sox.png' 2>/dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("sox failed");
  }
}
BENCHMARK(BM_SoxSpectrogram60s)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(kFolder, ec);
  return 0;
}
