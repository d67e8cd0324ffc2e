#include "ui/windows/background_art.h"

#include <cmath>

namespace hv {

namespace {
uint32_t Bgrx(int r, int g, int b) { return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16; }
}  // namespace

// A night sky fading to the window colour at the bottom, with a frequency-
// modulated call drawn as a falling sweep of bright dots, as a spectrogram shows it.
std::vector<uint32_t> AboutArtwork() {
  constexpr int kSize = 384;
  std::vector<uint32_t> pixels(kSize * kSize);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      uint32_t colour;
      if (y >= 160) {
        colour = Bgrx(0, 255, 255);  // button face below the artwork: the texts sit there
      } else {
        int shade = 20 + y / 4;
        colour = Bgrx(shade / 3, shade / 2, shade + 40);
      }
      pixels[y * kSize + x] = colour;
    }
  }
  // Three calls: sweeps from 140 px down to 40 px in frequency, each 60 px long.
  for (int call = 0; call < 3; ++call) {
    int x0 = 40 + call * 110;
    for (int t = 0; t < 60; ++t) {
      double f = 130.0 - 100.0 * std::sqrt(t / 60.0);
      int y = static_cast<int>(f);
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = 0; dx <= 1; ++dx) {
          int yy = y + dy, xx = x0 + t + dx;
          if (yy >= 0 && yy < 160) pixels[yy * kSize + xx] = dy == 0 ? Bgrx(255, 240, 80) : Bgrx(230, 80, 40);
        }
    }
  }
  return pixels;
}

void ReplaceButtonFace(std::vector<uint32_t>* pixels, uint32_t face) {
  for (uint32_t& p : *pixels)
    if ((p & 0xFF) == 0xFF && ((p >> 8) & 0xFF) == 0xFF) p = face;
}

}  // namespace hv
