// A scene of bat calls for testing call detection: FM sweeps (steep and
// shallow), long constant-frequency calls and pairs of calls of two bats a
// few milliseconds apart, over Gaussian noise, optionally with broadband
// clicks between the calls. The scene knows each call it sends (its truth).
//
// Loudness: snrDb is the call's level in a 256-point Blackman-Harris spectrum
// frame taken at the call's middle, above the mean noise power per bin of the
// same frames - how far the call's trace stands above the background in the
// station's spectrogram.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "signals.h"

namespace hv::sim {

struct TrueCall {
  double startS = 0, endS = 0;  // from the first sample of the scene
  double fStartHz = 0, fEndHz = 0;  // where the envelope has risen to, and fallen to, half
  char kind = 'F';  // F frequency-modulated, C constant frequency
  double FMaxHz() const { return fStartHz > fEndHz ? fStartHz : fEndHz; }
  double FMinHz() const { return fStartHz < fEndHz ? fStartHz : fEndHz; }
};

struct SceneOptions {
  int rate = kSimSampleRate;  // 192000..500000
  double snrDb = 20.0;
  double noiseSigma = 300.0;  // sample units
  bool calls = true;          // false: noise (and clicks) only
  bool clicks = false;        // a broadband click in the middle of every pause
  uint32_t seed = 1;
};

class CallScene : public SignalSource {
 public:
  explicit CallScene(const SceneOptions& options);
  size_t Fill(int16_t* out, size_t count) override;
  // Calls begun so far, in order.
  const std::vector<TrueCall>& truth() const { return truth_; }
  // Called with each call as it begins.
  std::function<void(const TrueCall&)> onCall;

 private:
  struct Active {
    uint64_t start, length, ramp;
    double f0, slope, amplitude;  // Hz, Hz per s, sample units
  };
  void ScheduleNext();
  double Sample(const Active& a, uint64_t n) const;
  double Calibrate(const Active& a) const;

  SceneOptions options_;
  std::mt19937 random_;
  std::normal_distribution<double> normal_{0.0, 1.0};
  std::vector<Active> active_;
  std::vector<TrueCall> truth_;
  uint64_t n_ = 0;
  uint64_t nextStart_ = 0;
  uint64_t nextClick_ = UINT64_MAX;
  double clickAmplitude_ = 0;
};

// Writes the truth as CSV: start_s,end_s,fmax_khz,fmin_khz,fchar_khz,kind.
void WriteTruthHeader(std::FILE* f);
void WriteTruthRow(std::FILE* f, const TrueCall& call);

}  // namespace hv::sim
