// The power spectrum behind each spectrogram column: 256 samples in, 128
// non-negative power values (bins 0..127) out.
#pragma once

#include "display/display_engine.h"

namespace hv {

// A new analyser for the display thread (owned by the returned function).
PowerSpectrumFunction MakeColumnAnalyser();

}  // namespace hv
