// Tuning helpers over the shared tuning values (g_tuneOffset and the limits in
// core/station_state.h, TuneFrequency in the settings).
#pragma once

#include "core/station_state.h"

namespace hv {

// The tuning frequency in use: tune offset plus TuneFrequency.
float CurrentTuneFrequency();

// Limits for a stream rate: upper = rate/2 - 11025; lower = 11025 during
// playback, else 21025.
void TuningLimitsFor(float rate, bool playback, float* lower, float* upper);

}  // namespace hv
