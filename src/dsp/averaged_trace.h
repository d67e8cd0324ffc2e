// The spectral trace computation: an averaged power spectrum of the conditioned
// stream. Each 512-sample block is windowed (exact Blackman), transformed and its
// power added per bin; every 20 blocks the mean powers become levels on the
// station's level scale (dsp/station_level.h, N = 512), optionally held
// at their maximum. A small stage machine spaces the work over blocks: a new
// trace, then a tuning check on the next block, then drawing on the one after.
// No toolkit and no globals: the spectral trace thread reads the shared values
// and draws through the display's trace plot (display/trace_plot.h).
#pragma once

#include "dsp/real_fft.h"

namespace hv {

class SpectralTrace {
 public:
  static constexpr int kBlock = 512;
  static constexpr int kBins = 256;  // trace bins; bin k stands for k x rate / 512 Hz
  static constexpr int kBlocksPerTrace = 20;
  static constexpr float kStartLevel = -30.0f;
  // Levels below this (a bin without power gives minus infinity) are held here.
  static constexpr float kLowestLevel = -300.0f;

  // What the block's stage step asks of the thread.
  enum class Step {
    kNone,         // accumulating
    kNewTrace,     // levels were formed (stage 0 -> 1)
    kCheckTuning,  // compare the tuning frequency with the last drawn one (1 -> 2)
    kDraw,         // draw the trace (2 -> 0)
    kReconfigure,  // a new stream rate took effect; the trace restarted
  };

  SpectralTrace();

  // Adds one block of 512 samples and runs the stage step. levelOffset is the
  // receiver level offset V (dB).
  Step AddBlock(const float* block, float levelOffset, bool peakHold);
  // A format change was read: the next stage-0 step restarts the trace.
  void NoteFormatChange() { reconfigurePending_ = true; }

  const float* levels() const { return trace_; }
  int stage() const { return stage_; }
  int blockCount() const { return count_; }
  const float* window() const { return window_; }

 private:
  RealFFT fft_{kBlock};
  int stage_ = 1;
  int count_ = 0;
  bool reconfigurePending_ = false;
  alignas(16) float window_[kBlock];
  alignas(16) float windowed_[kBlock];
  alignas(16) float spectrum_[kBlock];
  alignas(16) float accumulator_[kBins + 4];  // bins 0..256
  alignas(16) float power_[kBins];
  alignas(16) float trace_[kBins];
};

}  // namespace hv
