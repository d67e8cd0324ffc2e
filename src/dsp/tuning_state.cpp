#include "dsp/tuning_state.h"

#include "settings/settings.h"

namespace hv {

float CurrentTuneFrequency() {
  return g_tuneOffset.load(std::memory_order_relaxed) + g_settings.TuneFrequency.load(std::memory_order_relaxed);
}

void TuningLimitsFor(float rate, bool playback, float* lower, float* upper) {
  *upper = rate / 2.0f - 11025.0f;
  *lower = playback ? 11025.0f : 11025.0f + 10000.0f;
}

}  // namespace hv
