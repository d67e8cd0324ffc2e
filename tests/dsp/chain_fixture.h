// The signal chain of one receiver run on the calling thread, block by block,
// through the same stages and conduits the worker threads use: conditioning
// (with a response filter) to conduit4 and conduit5, the tuning path to
// conduit2, spectrum frames from conduit5 to conduit6, and the spectral trace
// from conduit4. The consumers' conduits are drained as it goes.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "core/station_state.h"
#include "dsp/averaged_trace.h"
#include "dsp/conditioner.h"
#include "dsp/frame_analyser.h"
#include "dsp/tuning_path.h"

namespace hv {

// Creates the seven conduits of the signal chain, 1 MiB each, in the formats
// of a receiver at `rate` (the audio conduits at 44100 Hz).
inline void CreateChainConduits(uint32_t rate) {
  struct Setup { Conduit* c; uint32_t rate; uint16_t block, bits; };
  const Setup setups[] = {{&conduit1, rate, 2, 16},    {&conduit2, 44100, 4, 32},    {&conduit3, 44100, 2, 16},
                          {&conduit4, rate, 4, 32},    {&conduit5, rate, 4, 32},     {&conduit6, rate, 272, 2176},
                          {&conduit7, rate, 272, 2176}};
  for (int i = 0; i < 7; ++i) {
    g_conduitFormat[i] = MakeWaveFormat(setups[i].rate, 1, setups[i].block, setups[i].bits);
    setups[i].c->Create(1 << 20, &g_conduitFormat[i]);
  }
}

class ChainOnOneThread {
 public:
  explicit ChainOnOneThread(float rate) : rate_(rate), tuning_(rate, 40000.0f) {
    CreateChainConduits(static_cast<uint32_t>(rate));
    band_ = SnapshotBandBins(18000.0f, 120000.0f, rate / 2.0f);
  }

  // Bat-like input: a downward sweep every 50 ms over noise, 16-bit little-endian.
  static std::vector<uint8_t> TestInput(float rate, int samples) {
    std::vector<uint8_t> bytes(samples * 2);
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 200.0);
    double phase = 0.0;
    for (int i = 0; i < samples; ++i) {
      double t = std::fmod(i / rate, 0.05);
      double f = t < 0.005 ? 80000.0 - 8e6 * t : 0.0;
      phase += 2.0 * M_PI * f / rate;
      double v = (t < 0.005 ? 8000.0 * std::sin(phase) : 0.0) + noise(rng) + 300.0;
      int16_t s = static_cast<int16_t>(std::lround(std::fmax(-32768.0, std::fmin(32767.0, v))));
      bytes[2 * i] = static_cast<uint8_t>(s & 0xFF);
      bytes[2 * i + 1] = static_cast<uint8_t>((static_cast<uint16_t>(s) >> 8) & 0xFF);
    }
    return bytes;
  }

  // Runs `bytes` (a multiple of 1024) through the chain.
  void Run(const uint8_t* bytes, size_t count) {
    for (size_t at = 0; at + 1024 <= count; at += 1024) {
      std::memcpy(block_, bytes + at, 1024);
      uint32_t n = conditioner_.Process(block_, 512, 2, ResponseFilter::kCompensation, conditioned_);
      Write(conduit4, conditioned_, n * 4);
      Write(conduit5, conditioned_, n * 4);
      tuning_.ProcessBlock(conditioned_, n, 40000.0f, 32.0f, &ChainOnOneThread::Audio, nullptr);
      Spectrum();
      Trace();
      Drain(conduit2);
      Drain(conduit6);
    }
  }

  uint64_t frames() const { return frames_; }
  uint64_t traces() const { return traces_; }

 private:
  static void Write(Conduit& c, const void* p, uint32_t n) {
    uint32_t accepted = 0;
    c.Write(n, p, &accepted);
  }
  static void Audio(void*, const float* s, uint32_t n) { Write(conduit2, s, n * 4); }
  static void Drain(Conduit& c) {
    static uint8_t scratch[1 << 16];
    uint32_t available = c.Available(), got = 0;
    while (available > 0) {
      uint32_t take = available < sizeof(scratch) ? available : sizeof(scratch);
      c.Read(take, scratch, &got);
      available -= take;
    }
  }
  // As the spectrum thread: 1024 samples per read, one frame per 64 samples.
  void Spectrum() {
    uint32_t got = 0;
    if (conduit5.Read(4096, samples_ + fill_, &got) != kStatusOk || got == 0) return;
    fill_ += got / 4;
    int frames = 0, g = 0;
    if (fill_ > 256) {
      frames = 1;
      while (frames < 20 && frames * 64 + 256 < static_cast<int>(fill_)) ++frames;
      g = frames * 64;
      analyser_.MakeFrames(samples_, frames, band_, 19.0f, frameBuffer_);
    }
    Write(conduit6, frameBuffer_, frames * kSpectrumFrameBytes);
    frames_ += frames;
    std::memmove(samples_, samples_ + g, (fill_ - g) * 4);
    fill_ -= g;
  }
  void Trace() {
    uint32_t got = 0;
    while (conduit4.Read(2048, traceBlock_, &got) == kStatusOk && got == 2048) {
      if (trace_.AddBlock(traceBlock_, 19.0f, false) == SpectralTrace::Step::kNewTrace) ++traces_;
    }
  }

  float rate_;
  Conditioner conditioner_;
  TuningPath tuning_;
  SpectrumAnalyser analyser_;
  SpectralTrace trace_;
  SnapshotBand band_;
  alignas(16) uint8_t block_[1024];
  alignas(16) float conditioned_[512];
  alignas(16) float samples_[1280];
  uint32_t fill_ = 0;
  SpectrumFrame frameBuffer_[20];
  alignas(16) float traceBlock_[512];
  uint64_t frames_ = 0, traces_ = 0;
};

}  // namespace hv
