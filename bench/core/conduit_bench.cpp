// Conduit throughput between two threads in 1024-byte chunks, beside memcpy of
// the same data in 1024-byte chunks in the same run. Target: at least 1 GB/s
// and at least a third of the memcpy figure.
#include <benchmark/benchmark.h>

#include <cstring>
#include <thread>
#include <vector>

#include "core/conduit.h"

namespace {

constexpr size_t kChunk = 1024;
constexpr size_t kBytesPerIteration = 64 << 20;

void BM_ConduitTwoThreads(benchmark::State& state) {
  hv::WaveFormat format = hv::MakeWaveFormat(250000, 1, 2, 16);
  hv::Conduit conduit;
  conduit.Create(5000000, &format);
  std::vector<uint8_t> in(kChunk, 0x5a), out(kChunk);
  for (auto _ : state) {
    std::thread writer([&] {
      size_t sent = 0;
      while (sent < kBytesPerIteration) {
        uint32_t accepted = 0;
        conduit.Write(kChunk, in.data(), &accepted);
        if (accepted == kChunk) sent += kChunk;
        else if (accepted) sent += accepted, conduit.Write(kChunk - accepted, in.data(), &accepted);
        else std::this_thread::yield();
      }
    });
    size_t got = 0;
    while (got < kBytesPerIteration) {
      uint32_t n = 0;
      conduit.Read(kChunk, out.data(), &n);
      if (n) got += n;
      else std::this_thread::yield();
    }
    writer.join();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytesPerIteration));
}
BENCHMARK(BM_ConduitTwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference: the same 64 MiB moved by memcpy from one buffer to another in
// 1024-byte chunks, on one thread.
void BM_MemcpySameData(benchmark::State& state) {
  std::vector<uint8_t> from(kBytesPerIteration, 0x5a), to(kBytesPerIteration);
  for (auto _ : state) {
    for (size_t done = 0; done < kBytesPerIteration; done += kChunk)
      std::memcpy(to.data() + done, from.data() + done, kChunk);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytesPerIteration));
}
BENCHMARK(BM_MemcpySameData)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
