// Receiver models: the product text's first five characters decide the sample
// rate and channel count; its ninth character (the revision letter of
// "HX302RevN") decides the level offset.
#pragma once

#include <string>

namespace hv {

struct ReceiverModel {
  float sampleRate;  // Hz
  int channels;
};

// The first matching row, or 250000 Hz, 1 channel for anything else.
ReceiverModel LookUpReceiverModel(const std::string& productText);
// 19 dB for revision letters "A" and "B", 14 dB for every other product.
float ReceiverLevelOffset(const std::string& productText);

}  // namespace hv
