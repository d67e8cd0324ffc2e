// The 256-point power-spectrum analyser used by the spectrum thread and the
// display: four-term Blackman-Harris window, real FFT, |X_m|^2 per bin.
#pragma once

#include "dsp/real_fft.h"

namespace hv {

class SpectrumSFFT {
 public:
  static constexpr int kSize = 256;

  SpectrumSFFT();
  virtual ~SpectrumSFFT();
  SpectrumSFFT(const SpectrumSFFT&) = delete;
  SpectrumSFFT& operator=(const SpectrumSFFT&) = delete;

  // input: n pairs of float32, the first of each pair being the sample;
  // output: pairs (P[m], 0) for m = 0 .. min(128, cap - 1). Same rules as PowerSpectrum.
  virtual bool PowerSpectrumInterleaved(const float* input, int n, float* output, int cap);
  // input: n samples (1 <= n <= 256; zero-padded to 256). Windows them, transforms
  // and writes P[m] = Re^2 + Im^2 for m = 0 .. min(128, cap - 1). Returns false,
  // writing nothing, when n is outside 1..256 or cap < 1.
  virtual bool PowerSpectrum(const float* input, int n, float* output, int cap);

  int windowLength() const { return windowLength_; }
  const float* window() const { return window_; }

 private:
  bool Prepare(int n);
  int Transform(float* output, int cap);

  int windowLength_ = 0;
  float* window_ = nullptr;     // room for 256 entries; the first windowLength_ are valid
  float* fftOutput_ = nullptr;  // 256
  float* fftInput_ = nullptr;   // 256
  int fftSize_ = kSize;
  RealFFT fft_{kSize};
};

// Approximate dB value of the summed powers of two dB values: +3 dB when equal,
// falling 0.2 dB per dB of difference, nothing at 15 dB apart or more.
inline float DbPowerSum(float a, float b) {
  float d = 3.0f - 0.2f * (a > b ? a - b : b - a);
  float m = a > b ? a : b;
  return d > 0.0f ? m + d : m;
}

}  // namespace hv
