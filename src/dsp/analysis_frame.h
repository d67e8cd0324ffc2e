// The 272-byte spectrum frame of the analysis stream (conduits 6 and 7): 68
// little-endian 32-bit words.
//   word 0      float32  peak bin index (0..127); bin m stands for m x rate/256 Hz
//   word 1      float32  peak level in dB (-10.0 when no bin of the snapshot band exceeds -10)
//   word 2      float32  noise floor in dB at the peak bin
//   word 3      float32  harmonic ratio in dB: energy in the peak and harmonic windows
//                        minus the energy elsewhere (dB power sums of level above floor)
//   words 4-67  float32  the 64 conditioned samples that start the frame's analysis
//                        window (its hop), on the 16-bit scale (full scale +/-32768);
//                        consecutive frames carry consecutive hops
// Levels are on the station's level scale (dsp/station_level.h) of a 256-point
// transform, with V the receiver level offset.
// This is the one description of the layout; readers of conduits 6 and 7 refer here.
#pragma once

#include <cstdint>

namespace hv {

constexpr int kFrameHop = 64;
constexpr int kFrameBins = 128;
constexpr uint32_t kSpectrumFrameBytes = 272;
constexpr uint16_t kSpectrumFrameBits = 2176;  // bits per sample announced for frame streams

struct SpectrumFrame {
  float peakBin;
  float peakLevel;
  float noiseFloor;
  float harmonicRatio;
  float samples[kFrameHop];
};
static_assert(sizeof(SpectrumFrame) == kSpectrumFrameBytes, "a spectrum frame is 272 bytes");

}  // namespace hv
