// The conditioning stage: DC removal and the optional response filter.
//
// Input is a block of little-endian sample frames of `bytesPerFrame` bytes; the
// first two bytes of each frame are the signed 16-bit sample used. Output is one
// float32 per frame. The DC estimate starts at 32768 and follows the input with
// a time constant of 32768 samples. With a response filter, each output is the
// 32-tap table applied to the last 32 conditioned samples; when frames are 2
// bytes the filtered value is also written back into the input block (truncated
// toward zero, clamped to -32767..32767), so that recordings get it too.
#pragma once

#include <cstdint>

namespace hv {

enum class ResponseFilter { kNone, kCompensation, kRestoration };

// Which response filter a block gets: flatChoice is the "Compensated (Flat)"
// response setting, playback says conduit1 is fed from a file, fileCompensated
// says that file was recorded compensated.
ResponseFilter ChooseResponseFilter(bool playback, bool flatChoice, bool fileCompensated);

// A filtered value as written back into a 16-bit block: truncated toward zero
// and limited to -32767..32767 (NaN gives 0).
int16_t WriteBackSample(float v);

class Conditioner {
 public:
  static constexpr uint32_t kBlockSamples = 512;
  static constexpr uint32_t kTaps = 32;

  Conditioner();

  // Conditions min(frames, 512) frames of `input` into `out`; returns the count.
  uint32_t Process(uint8_t* input, uint32_t frames, uint32_t bytesPerFrame, ResponseFilter filter, float* out);

  float dcEstimate() const { return dc_; }

 private:
  float dc_ = 32768.0f;
  // Work area: 32 samples of history, then the block's conditioned samples.
  alignas(16) float work_[kTaps + kBlockSamples + 16];
  uint32_t lastEnd_ = kTaps + kBlockSamples;  // one past the newest conditioned sample in work_
};

}  // namespace hv
