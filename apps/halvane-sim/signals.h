// Test signals of the receiver simulator, 16-bit samples at 250000 per second.
// Each source continues where the previous Fill stopped; a source that ends
// (a file) returns fewer samples than asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace hv::sim {

constexpr int kSimSampleRate = 250000;

class SignalSource {
 public:
  virtual ~SignalSource() = default;
  // Up to `count` samples into `out`; the number written (0 at the end).
  virtual size_t Fill(int16_t* out, size_t count) = 0;
};

// Bat-like calls: a 5 ms FM sweep from 80 to 30 kHz every 100 ms over low noise.
std::unique_ptr<SignalSource> MakeCalls();
// Gaussian-like noise (standard deviation about 1000).
std::unique_ptr<SignalSource> MakeNoise();
// A sine of `hz` Hz at amplitude 10000.
std::unique_ptr<SignalSource> MakeTone(double hz);
std::unique_ptr<SignalSource> MakeSilence();
// The documented sequence of counter_sequence.h from sample 0.
std::unique_ptr<SignalSource> MakeCounter();
// The samples of a WAV recording (16-bit PCM; the first channel of several).
// None with `error` set when the file can't be used.
std::unique_ptr<SignalSource> MakeFileSource(const std::string& path, std::string* error);

// A source by its command-line name: calls, noise, tone:HZ, silence, counter.
std::unique_ptr<SignalSource> MakeSignal(const std::string& name, std::string* error);

}  // namespace hv::sim
