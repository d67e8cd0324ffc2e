// Fractional-rate complex resampler over a 1024-sample input window.
//
// Each output is one row of the band-pass table (BPFilterTable, 255 phases x 127
// taps) applied to the 127 window samples around the fractional input position:
// the band around the table's centre comes out as complex baseband. Positions
// are in input samples, indices into the window (oldest sample first).
//
// The owner first fills the window (Fill) and then, on each pass over an input
// block, slides it (Slide) and calls Resample. The window always keeps at least
// 63 samples of history before the current position.
#pragma once

#include <cstdint>

#include "dsp/filter_table.h"

namespace hv {

class BPResampler : public BPFilterTable {
 public:
  static constexpr uint32_t kWindowLength = 1024;
  static constexpr uint32_t kHistory = 63;
  static constexpr uint32_t kLastPosition = kWindowLength - 1 - 63;  // 960

  BPResampler(double cutoff, double gain, double center);
  ~BPResampler() override;

  // Empties the window (it must be filled again) and puts the position at 63.
  void Reset();

  // Produces up to maxOut complex outputs (re, im pairs) into out, advancing by
  // `step` input samples (> 0) per output; returns the number produced. Produces
  // nothing while the next position would pass 960.
  uint32_t Resample(uint32_t maxOut, double step, ComplexF* out);

  // First fill: appends block[*consumed..n) until the window holds 1024 samples.
  // Returns true once the window is full.
  bool Fill(const float* block, uint32_t n, uint32_t* consumed);
  // Drops the samples more than 63 before the position (at most those that the
  // block still has), appends as many from block[*consumed..n), moves the
  // position back by the same count and returns it.
  uint32_t Slide(const float* block, uint32_t n, uint32_t* consumed);

  bool full() const { return full_; }
  uint32_t fillIndex() const { return fillIndex_; }
  double position() const { return position_; }
  void set_position(double p) { position_ = p; }
  const float* window() const { return window_; }

 private:
  bool full_ = false;
  uint32_t fillIndex_ = 0;
  uint32_t windowLength_ = kWindowLength;
  float* window_ = nullptr;
  double position_ = 63.0;
  uint32_t phasesCopy_ = 255;
  uint32_t tapsCopy_ = 127;
  double halfLength_ = 63.0;
  uint32_t lastPosition_ = kLastPosition;
  uint32_t history_ = kHistory;
};

// Sum over j < n of w[j] * c[j], complex coefficients, float32 accumulation.
void ComplexDot(const float* w, const ComplexF* c, uint32_t n, float* re, float* im);

}  // namespace hv
