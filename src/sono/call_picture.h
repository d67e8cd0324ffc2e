// A spectrogram of a recording with its calls marked: the picture tool's
// spectrogram, and over it one box per call from its start to its end and
// from its lowest to its highest frequency, with a tick at its peak frequency.
#pragma once

#include <string>
#include <vector>

#include "calls/call_detector.h"
#include "sono/sono_picture.h"

namespace hv {

// Draws the boxes into a picture made by MakeSonoPicture.
void MarkCalls(const std::vector<CallMeasure>& calls, SonoPicture* picture);

// Makes the picture of `recording`, marks `calls` and writes it as PNG.
bool WriteCallPicture(const std::string& recording, const std::vector<CallMeasure>& calls,
                      const std::string& pngPath, const SonoOptions& options, std::string* error);

}  // namespace hv
