// The spectrogram picture of a recording: the live display's analyser (the
// 256-point Blackman-Harris power spectrum, 128 bins), its level scale in dB
// and its colour map over the whole file, with a frequency axis in kHz from the
// recording's real rate (attribute record or GUANO), a time axis in ms and a
// title line with the device, the start time and the comment (the file name
// when none of them is known).
//
// Each picture column covers an equal share of the file; it shows the largest
// power per bin over up to kMaxFramesPerColumn windows spread across its share
// (one window centred on it when the share is shorter than a window), so short
// calls in long files are not lost and the work per picture is bounded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/station_state.h"

namespace hv {

constexpr int kMaxFramesPerColumn = 128;

struct SonoOptions {
  int width = 1024;   // the whole picture, pixels
  int height = 400;
  float brightness = 50.0f;  // the colour scale as the live display's settings
  float contrast = 50.0f;
};

struct SonoPicture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top-down
  // The plot rectangle inside the picture.
  int plotLeft = 0, plotTop = 0, plotWidth = 0, plotHeight = 0;
  uint64_t realRate = 0;  // Hz: the top of the plot is realRate / 2
  double seconds = 0.0;   // real length: the plot's right edge
  std::string title;
  bool hasStart = false;  // the start time from the attribute record or GUANO
  StreamTime start;
  // levels[column * 128 + bin] in dB, column 0 at the left, bin 0 at 0 Hz.
  std::vector<float> levels;
};

// Makes the picture of the recording at `path`; false with a reason in `error`.
bool MakeSonoPicture(const std::string& path, const SonoOptions& options, SonoPicture* picture, std::string* error);

// Makes the picture and writes it as PNG to `pngPath`.
bool WriteSonoPicture(const std::string& path, const std::string& pngPath, const SonoOptions& options,
                      std::string* error);

// The picture row (0 at the top of the plot) that shows `frequencyHz`.
int SonoRowForFrequency(const SonoPicture& picture, double frequencyHz);

}  // namespace hv
