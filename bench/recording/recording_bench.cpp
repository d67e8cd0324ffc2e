// Writing 60 s of 250 kHz mono audio as WAV and as WavPack through our file
// objects, beside the `wavpack` command-line program packing the same samples
// in the same run (the reference). Compare the cpu_ms counters: wall times
// depend on how busy the machine is. A fourth figure runs a whole Continuous
// recording at 500000 samples/s through a conduit and the stream recorder and
// reports its processor time as a share of one core.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/le_bytes.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "formats/wave_file.h"
#include "formats/wavpack_file.h"
#include "recording/record_paths.h"
#include "recording/stream_recorder.h"
#include "settings/settings.h"

namespace {

const std::string kFolder = "/tmp/halvane_rec_bench_" + std::to_string(getpid());

// Field-like audio: a quiet noise floor with bat-like sweeps every 100 ms.
const std::vector<uint8_t>& Audio(uint32_t rate, double seconds) {
  static std::vector<uint8_t> cache;
  static uint32_t cachedRate = 0;
  if (cachedRate == rate) return cache;
  const size_t n = size_t(rate * seconds);
  cache.assign(n * 2, 0);
  uint32_t seed = 1;
  double phase = 0;
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1664525u + 1013904223u;
    double noise = double(int32_t(seed) >> 23);  // +/-256
    double t = double(i % (rate / 10)) / rate;   // within a 100 ms period
    double call = 0;
    if (t < 0.005) {
      phase += 2 * M_PI * (80000.0 - 8.0e6 * t) / rate;
      call = 8000.0 * std::sin(phase) * std::sin(M_PI * t / 0.005);
    }
    hv::PutLe16(&cache[2 * i], uint16_t(int16_t(noise + call)));
  }
  cachedRate = rate;
  return cache;
}

hv::FormatWithAttribute Record(uint32_t rate) {
  hv::FormatWithAttribute r;
  r.format = hv::MakeWaveFormat(rate, 1, 2, 16);
  r.SetAttribute("MMMMMMMMM(#25000#)<&10&>[!250!]DEV=bench,DC=Off,UTC=2024:01:31::23:59:59.123,LTB=   0,CMT=<>MMMMMMMMM ");
  return r;
}

// Processor seconds used so far by this process (RUSAGE_SELF) or its finished children.
double CpuSeconds(int who) {
  struct rusage u {};
  getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

template <typename File>
void WriteThrough(benchmark::State& state, const char* name) {
  const std::vector<uint8_t>& audio = Audio(250000, 60.0);
  const std::string path = kFolder + "/" + name;
  double cpu = 0;
  for (auto _ : state) {
    std::filesystem::remove(path);  // recordings never open an existing file
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    File f;
    hv::FormatWithAttribute rec = Record(250000);
    if (f.Open(path.c_str(), &rec, 2) != hv::kFileOk) state.SkipWithError("open failed");
    uint32_t taken;
    for (size_t at = 0; at < audio.size(); at += 512) f.Write(512, &audio[at], &taken);
    if (f.Close() != hv::kFileOk) state.SkipWithError("close failed");
    cpu += CpuSeconds(RUSAGE_SELF) - cpu0;
  }
  state.counters["cpu_ms"] = 1000.0 * cpu / double(state.iterations());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(audio.size()));
  state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
}

void BM_WaveFile60s(benchmark::State& state) { WriteThrough<hv::WaveFile>(state, "ours.wav"); }
void BM_WavPackFile60s(benchmark::State& state) { WriteThrough<hv::WavPackFile>(state, "ours.wv"); }

// Reference: the command-line packer on the same samples (from a WAV file).
void BM_WavpackCommandLine60s(benchmark::State& state) {
  const std::vector<uint8_t>& audio = Audio(250000, 60.0);
  const std::string in = kFolder + "/input.wav", out = kFolder + "/cli.wv";
  {
    hv::WaveFile f;
    hv::FormatWithAttribute rec = Record(250000);
    rec.SetAttribute("");
    f.Open(in.c_str(), &rec, 2);
    uint32_t taken;
    f.Write(uint32_t(audio.size()), audio.data(), &taken);
    f.Close();
  }
  const std::string command = "wavpack -q -y '" + in + "' -o '" + out + "' >/dev/null 2>&1";
  double cpu = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    if (std::system(command.c_str()) != 0) state.SkipWithError("wavpack failed");
    cpu += CpuSeconds(RUSAGE_CHILDREN) - cpu0;
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["cpu_ms"] = 1000.0 * cpu / double(state.iterations());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(audio.size()));
  state.counters["file_MB"] = double(std::filesystem::file_size(out)) / 1e6;
}

// A whole Continuous recording of 20 s at 500000 samples/s: the conduit writes
// and the recorder's reads, state steps and file writes, as processor time
// per second of recorded stream (100% = one core).
void BM_Continuous500k(benchmark::State& state) {
  const double seconds = 20.0;
  const std::vector<uint8_t>& audio = Audio(500000, seconds);
  hv::g_fileLock = hv::CreateMutexRecord();
  hv::g_streamTimeLock = hv::CreateMutexRecord();
  hv::g_deviceSampleRate.store(500000.0f);
  hv::g_settings.MenuRecordMode.store(hv::kModeContinuous);
  hv::g_settings.OutputFileFormat.store(int(state.range(0)));
  hv::g_recordBasePath.Set(kFolder + "/cont.wav");
  double share = 0;
  for (auto _ : state) {
    hv::WaveFormat format = hv::MakeWaveFormat(44100, 1, 2, 16);
    hv::Conduit conduit;
    conduit.Create(1000000, &format);
    hv::StreamRecorder recorder(&conduit);
    hv::g_recordOn.store(true);
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    for (size_t at = 0; at < audio.size();) {
      uint32_t accepted = 0;
      conduit.Write(uint32_t(std::min<size_t>(4096, audio.size() - at)), &audio[at], &accepted);
      at += accepted;
      while (recorder.Pass()) {
      }
    }
    hv::g_recordOn.store(false);
    while (recorder.State() != hv::kStreamIdle) recorder.Pass();
    share = (CpuSeconds(RUSAGE_SELF) - cpu0) / seconds;
  }
  state.counters["core_percent"] = 100.0 * share;
  for (const auto& e : std::filesystem::directory_iterator(kFolder))
    if (e.path().filename().string().rfind("cont_", 0) == 0) std::filesystem::remove(e.path());
}

BENCHMARK(BM_WaveFile60s)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_WavPackFile60s)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_WavpackCommandLine60s)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_Continuous500k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::create_directories(kFolder);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(kFolder);
  return 0;
}
