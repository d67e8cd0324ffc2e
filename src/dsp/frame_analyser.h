// Turns 256-sample analysis windows into spectrum frames: levels per bin, the
// strongest bin inside the snapshot band, a smoothed spectrum and the noise
// floor under it, and the harmonic ratio. Owned by one thread; the smoothed
// spectrum persists across frames (and format changes) for the owner's life.
#pragma once

#include <cstdint>

#include "dsp/analysis_frame.h"
#include "dsp/power_fft.h"

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

  static constexpr int kMaxBatch = 20;

  // Analyses samples[0..255] into frame (features plus samples[0..63]);
  // levelOffset is the receiver level offset V in dB.
  void MakeFrame(const float* samples, const SnapshotBand& band, float levelOffset, SpectrumFrame* frame);
  // The same for `count` (<= 20) windows starting every 64 samples, in order;
  // the harmonic ratios are then worked out eight frames at a time.
  void MakeFrames(const float* samples, int count, const SnapshotBand& band, float levelOffset,
                  SpectrumFrame* frames);

  // Class of each bin 1..127 in the harmonic walk for a peak bin: 0 outside,
  // 1 peak window, 2 harmonic windows (bin 0 is never summed).
  static void ClassifyBins(int peakBin, uint8_t* classOf);

  // The arrays of the last frame (128 bins each), for inspection.
  const float* levels() const { return levels_; }
  const float* smoothed() const { return smoothed_; }
  const float* noiseFloor() const { return floor_; }

 private:
  // Everything but the harmonic ratio; keeps level minus floor per bin in `excess`.
  void Analyse(const float* samples, const SnapshotBand& band, float levelOffset, SpectrumFrame* frame,
               float* excess);
  void UpdateFloor();
  // Harmonic ratios of up to eight frames, one per vector lane.
  static void HarmonicRatios(const float* const* excess, const int* peakBins, int count, float* ratios);

  SpectrumSFFT sfft_;
  bool smoothedStarted_ = false;
  alignas(16) float power_[kFrameBins + 4];
  alignas(16) float levels_[kFrameBins];
  alignas(16) float smoothed_[kFrameBins];
  // Padded working arrays of the floor computation.
  alignas(16) float smoothedPad_[kFrameBins + 8];
  alignas(16) float dilatedPad_[kFrameBins + 8];
  alignas(16) float erodedPad_[kFrameBins + 24];
  alignas(16) float pairPad_[3][kFrameBins + 24];  // partial minima and sums of the floor
  alignas(16) float floor_[kFrameBins];
  alignas(16) float inverseCount_[kFrameBins];
  alignas(16) float excess_[kMaxBatch][kFrameBins];
};

}  // namespace hv
