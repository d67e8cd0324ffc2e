// The tuning path: makes a band about 20 kHz wide around the tuning frequency F
// audible. The band-pass resampler brings it to complex baseband at 22050
// complex samples per second, an oscillator removes the residual rotation, and
// the two-phase interpolator rebuilds a real signal at 44100 samples per second
// on an 11025 Hz carrier: an input frequency f is heard at 11025 + (f - F) Hz.
//
// Runs on the conditioning thread, over every block of conditioned samples
// while audio is on. Output goes to a sink, one pass at a time (at most 1024
// samples, already multiplied by the volume gain).
#pragma once

#include <cstdint>

#include "dsp/bp_resampler.h"
#include "dsp/filter_table.h"

namespace hv {

// Receives the audio samples (44100/s, float32) of one pass.
using AudioSink = void (*)(void* context, const float* samples, uint32_t count);

class TuningPath {
 public:
  static constexpr float kComplexRate = 22050.0f;
  static constexpr float kCarrier = 11025.0f;
  static constexpr uint32_t kComplexCapacity = 512;
  static constexpr uint32_t kOutputCapacity = 1024;

  // Start-up for stream rate `rate` (Hz) and tuning frequency `tune` (Hz).
  TuningPath(float rate, float tune);

  // New stream rate: redesigns; the window, position, oscillator and parity stay.
  void FormatChange(float rate, float tune);

  // Processes n conditioned samples with tuning frequency `tune` and volume gain `gain`.
  void ProcessBlock(const float* samples, uint32_t n, float tune, float gain, AudioSink sink, void* context);

  float rate() const { return rate_; }
  float step() const { return step_; }
  float currentCentre() const { return currentCentre_; }
  float increment() const { return increment_; }
  const BPResampler& resampler() const { return resampler_; }
  uint64_t designCount() const { return resampler_.designCount(); }

 private:
  static double CutoffFor(float rate);
  void Rebuild(uint32_t count, float gain);

  float rate_;
  BPResampler resampler_;
  FilterTableT<float> interpolator_;
  // Row 0 and row 1 of the interpolator interleaved (r0[0], r1[0], r0[1], ...),
  // matching the interleaved complex buffer.
  alignas(16) float rowPairs_[128];
  float step_ = 0.0f;
  float currentCentre_ = 0.0f;
  float increment_ = 0.0f;
  double phase_ = 0.0;
  alignas(16) ComplexF complex_[kComplexCapacity + 4];
  uint32_t fill_ = 0;
  uint32_t consumedComplex_ = 0;
  int parity_ = 0;
  alignas(16) float output_[kOutputCapacity];
};

}  // namespace hv
