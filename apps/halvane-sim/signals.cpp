#include "signals.h"

#include <cmath>
#include <cstdlib>
#include <random>

#include "counter_sequence.h"
#include "wav_reader.h"

namespace hv::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

int16_t Clip(double v) {
  if (v > 32767.0) return 32767;
  if (v < -32768.0) return -32768;
  return static_cast<int16_t>(std::lround(v));
}

class Noise : public SignalSource {
 public:
  explicit Noise(double sigma) : sigma_(sigma) {}
  size_t Fill(int16_t* out, size_t count) override {
    for (size_t i = 0; i < count; ++i) out[i] = Clip(Next());
    return count;
  }
  double Next() { return normal_(random_) * sigma_; }

 private:
  double sigma_;
  std::mt19937 random_{20261207};
  std::normal_distribution<double> normal_{0.0, 1.0};
};

class Calls : public SignalSource {
 public:
  size_t Fill(int16_t* out, size_t count) override {
    constexpr uint64_t kPeriod = kSimSampleRate / 10;        // a call every 100 ms
    constexpr uint64_t kLength = kSimSampleRate * 5 / 1000;  // 5 ms long
    for (size_t i = 0; i < count; ++i, ++n_) {
      uint64_t inCall = n_ % kPeriod;
      double v = noise_.Next();
      if (inCall < kLength) {
        double t = double(inCall) / kSimSampleRate;
        // Linear sweep 80 -> 30 kHz: phase is the integral of the frequency.
        double phase = 2 * kPi * (80000.0 * t - 0.5 * (50000.0 / 0.005) * t * t);
        double envelope = std::sin(kPi * double(inCall) / kLength);
        v += 12000.0 * envelope * envelope * std::sin(phase);
      }
      out[i] = Clip(v);
    }
    return count;
  }

 private:
  Noise noise_{60.0};
  uint64_t n_ = 0;
};

class Tone : public SignalSource {
 public:
  explicit Tone(double hz) : step_(2 * kPi * hz / kSimSampleRate) {}
  size_t Fill(int16_t* out, size_t count) override {
    for (size_t i = 0; i < count; ++i, ++n_) out[i] = Clip(10000.0 * std::sin(step_ * double(n_ % 250000000)));
    return count;
  }

 private:
  double step_;
  uint64_t n_ = 0;
};

class Silence : public SignalSource {
 public:
  size_t Fill(int16_t* out, size_t count) override {
    for (size_t i = 0; i < count; ++i) out[i] = 0;
    return count;
  }
};

class Counter : public SignalSource {
 public:
  size_t Fill(int16_t* out, size_t count) override {
    CounterFill(n_, out, count);
    n_ += count;
    return count;
  }

 private:
  uint64_t n_ = 0;
};

class FileSource : public SignalSource {
 public:
  explicit FileSource(std::vector<int16_t> samples) : samples_(std::move(samples)) {}
  size_t Fill(int16_t* out, size_t count) override {
    size_t n = 0;
    while (n < count && at_ < samples_.size()) out[n++] = samples_[at_++];
    return n;
  }

 private:
  std::vector<int16_t> samples_;
  size_t at_ = 0;
};

}  // namespace

std::unique_ptr<SignalSource> MakeCalls() { return std::make_unique<Calls>(); }
std::unique_ptr<SignalSource> MakeNoise() { return std::make_unique<Noise>(1000.0); }
std::unique_ptr<SignalSource> MakeTone(double hz) { return std::make_unique<Tone>(hz); }
std::unique_ptr<SignalSource> MakeSilence() { return std::make_unique<Silence>(); }
std::unique_ptr<SignalSource> MakeCounter() { return std::make_unique<Counter>(); }

std::unique_ptr<SignalSource> MakeFileSource(const std::string& path, std::string* error) {
  WavSamples wav;
  if (!ReadWavFile(path, &wav, error)) return nullptr;
  return std::make_unique<FileSource>(std::move(wav.firstChannel));
}

std::unique_ptr<SignalSource> MakeSignal(const std::string& name, std::string* error) {
  if (name == "calls") return MakeCalls();
  if (name == "noise") return MakeNoise();
  if (name == "silence") return MakeSilence();
  if (name == "counter") return MakeCounter();
  if (name.rfind("tone:", 0) == 0) {
    char* end = nullptr;
    double hz = std::strtod(name.c_str() + 5, &end);
    if (name.size() > 5 && *end == '\0' && hz > 0 && hz < kSimSampleRate / 2) return MakeTone(hz);
    if (error) *error = "tone:HZ needs a frequency between 0 and 125000 Hz";
    return nullptr;
  }
  if (error) *error = "unknown signal " + name + " (calls, noise, tone:HZ, silence, counter)";
  return nullptr;
}

}  // namespace hv::sim
