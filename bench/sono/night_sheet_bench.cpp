// A night's snapshots at a glance: 500 Auto Snap files of 1 s at 250 kHz
// (hard links to one recording, so the disk holds one) made into 500 pictures
// and the contact sheet, on as many threads as the machine has, as
// `halvane-sono FOLDER -o OUT` does. The reference in the same run is reading
// the same 500 files once (the floor set by the input). Target: well under a minute.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/le_bytes.h"
#include "formats/wave_file.h"
#include "sono/contact_sheet.h"
#include "sono/sono_batch.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSnapshots = 500;
const std::string kFolder = "/tmp/halvane_night_bench_" + std::to_string(getpid());

// One snapshot: noise with a bat-like sweep at its start, linked 500 times.
const std::vector<std::string>& Night() {
  static std::vector<std::string> files;
  if (!files.empty()) return files;
  fs::create_directories(kFolder + "/night");
  const uint32_t rate = 250000;
  std::vector<uint8_t> bytes(size_t(rate) * 2);
  uint32_t seed = 1;
  double phase = 0;
  for (size_t i = 0; i < rate; ++i) {
    seed = seed * 1664525u + 1013904223u;
    double t = double(i) / rate, call = 0;
    if (t > 0.004 && t < 0.009) {
      phase += 2 * M_PI * (80000.0 - 1.0e7 * (t - 0.004)) / rate;
      call = 8000.0 * std::sin(phase);
    }
    hv::PutLe16(&bytes[2 * i], uint16_t(int16_t(double(int32_t(seed) >> 23) + call)));
  }
  const std::string first = kFolder + "/night/site_D20260614T210000m000.wav";
  hv::WaveFile f;
  hv::FormatWithAttribute record;
  record.format = hv::MakeWaveFormat(25000, 1, 2, 16);
  record.SetAttribute("MMMMMMMMM(#25000#)<&10&>[!250!]DEV=Bench,DC=Off,UTC=2026:06:14::21:00:00.000,LTB=   0,"
                      "CMT=<snapshot>MMMMMMMMM ");
  f.Open(first.c_str(), &record, hv::RecordingFile::kWrite);
  uint32_t taken = 0;
  f.Write(uint32_t(bytes.size()), bytes.data(), &taken);
  f.Close();
  files.push_back(first);
  for (int i = 1; i < kSnapshots; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/night/site_D20260614T%02d%02d%02dm000.wav", 21 + i / 3600, i / 60 % 60, i % 60);
    fs::create_hard_link(first, kFolder + name);
    files.push_back(kFolder + name);
  }
  return files;
}

void BM_NightOf500SnapshotsToPicturesAndSheet(benchmark::State& state) {
  const std::vector<std::string>& files = Night();
  const int threads = int(std::max(1u, std::thread::hardware_concurrency()));
  fs::create_directories(kFolder + "/sheet");
  for (auto _ : state) {
    std::vector<hv::SheetEntry> entries = hv::MakePictures(files, kFolder + "/sheet", {}, threads, nullptr);
    hv::SortByTime(&entries);
    std::string error;
    if (!hv::WriteContactSheet(kFolder + "/sheet", entries, "night", &error)) state.SkipWithError(error.c_str());
    for (const hv::SheetEntry& e : entries)
      if (!e.error.empty()) state.SkipWithError(e.error.c_str());
  }
  state.counters["threads"] = threads;
}
BENCHMARK(BM_NightOf500SnapshotsToPicturesAndSheet)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

void BM_Read500Snapshots(benchmark::State& state) {
  const std::vector<std::string>& files = Night();
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    size_t total = 0;
    for (const std::string& path : files) {
      std::ifstream in(path, std::ios::binary);
      while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0) total += size_t(in.gcount());
    }
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_Read500Snapshots)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(kFolder, ec);
  return 0;
}
