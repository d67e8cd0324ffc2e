// The sound thread's arithmetic: float audio to 16-bit samples, and the level
// meter of the main window with its hold and decay.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hv {

// Truncates toward zero and limits to -32768..32767 (NaN becomes 0). Returns the
// sum of the squares of the float samples.
double ConvertToPcm16(const float* in, size_t count, int16_t* out);

// Level of a block in dB-like units: trunc(10 log10(mean x 1.414 + 1e-20)) + 10,
// mean being the sum of squares over the 16-bit block's byte count (2 x count).
// Silence gives -190; the value is limited to -1000..1000.
int BlockLevel(double sumOfSquares, size_t sampleCount);

// The meter's hold: a level above the held one becomes the held one; the
// meter shows the held level limited to 0..100; then the hold falls by 2.
class LevelMeter {
 public:
  // Returns the value for the progress bar (0..100).
  int Update(int level);
  int Held() const { return held_; }

 private:
  int held_ = 0;
};

}  // namespace hv
