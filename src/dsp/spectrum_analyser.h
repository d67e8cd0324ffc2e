// Turns 256-sample analysis windows into spectrum frames: levels per bin, the
// strongest bin inside the snapshot band, a smoothed spectrum and the noise
// floor under it, and the harmonic ratio. Owned by one thread; the smoothed
// spectrum persists across frames (and format changes) for the owner's life.
#pragma once

#include "dsp/spectrum_frame.h"
#include "dsp/spectrum_sfft.h"

namespace hv {

// Snapshot band in bins (0..127) for the band [lowHz, highHz] at the given Nyquist frequency.
struct SnapshotBand {
  int low = 0;
  int high = 127;
};
SnapshotBand SnapshotBandBins(float lowHz, float highHz, float nyquist);

class SpectrumAnalyser {
 public:
  SpectrumAnalyser();

  // Analyses samples[0..255] into frame (features plus samples[0..63]);
  // levelOffset is the receiver level offset V in dB.
  void MakeFrame(const float* samples, const SnapshotBand& band, float levelOffset, SpectrumFrame* frame);

  // The arrays of the last frame (128 bins each), for inspection.
  const float* levels() const { return levels_; }
  const float* smoothed() const { return smoothed_; }
  const float* noiseFloor() const { return floor_; }

 private:
  void UpdateFloor();
  float HarmonicRatio(int peakBin) const;

  SpectrumSFFT sfft_;
  float gain_;  // 20 log10(256)
  bool smoothedStarted_ = false;
  alignas(16) float power_[kFrameBins + 4];
  alignas(16) float levels_[kFrameBins];
  alignas(16) float smoothed_[kFrameBins];
  // Padded working arrays of the floor computation.
  alignas(16) float smoothedPad_[kFrameBins + 8];
  alignas(16) float dilatedPad_[kFrameBins + 8];
  alignas(16) float erodedPad_[kFrameBins + 16];
  alignas(16) float floor_[kFrameBins];
  alignas(16) float inverseCount_[kFrameBins];
};

}  // namespace hv
