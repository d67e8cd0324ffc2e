// Tuning values shared between the conditioning thread, the display thread and
// the windows (read and written relaxed, without a lock).
#pragma once

#include <atomic>

namespace hv {

// Added to TuneFrequency (Hz); set by the display thread from the mouse, in
// multiples of 250 Hz.
extern std::atomic<float> g_tuneOffset;
// Limits of TuneFrequency for the current stream rate (Hz), kept by the
// conditioning thread; before any format change, those of 250000 samples/s.
extern std::atomic<float> g_tuneLowerLimit;
extern std::atomic<float> g_tuneUpperLimit;

// The tuning frequency in use: tune offset plus TuneFrequency.
float CurrentTuneFrequency();

// Limits for a stream rate: upper = rate/2 - 11025; lower = 11025 during
// playback, else 21025.
void TuningLimitsFor(float rate, bool playback, float* lower, float* upper);

}  // namespace hv
