// Colours and pixel helpers shared by the display's drawing code. Pixels are
// 32-bit values in the toolkit's image layout: bytes blue, green, red, reserved
// in memory, that is 0x00RRGGBB as a little-endian word.
#pragma once

#include <cstdint>

namespace hv {

constexpr uint32_t PackPixel(int red, int green, int blue) {
  return (uint32_t(red & 255) << 16) | (uint32_t(green & 255) << 8) | uint32_t(blue & 255);
}
constexpr int PixelRed(uint32_t p) { return int((p >> 16) & 255); }
constexpr int PixelGreen(uint32_t p) { return int((p >> 8) & 255); }
constexpr int PixelBlue(uint32_t p) { return int(p & 255); }

// The system button-face colour that window backgrounds and cleared axes use.
constexpr int kButtonFaceRed = 240, kButtonFaceGreen = 240, kButtonFaceBlue = 240;
constexpr uint32_t kButtonFacePixel = PackPixel(kButtonFaceRed, kButtonFaceGreen, kButtonFaceBlue);

constexpr uint32_t kPureRedPixel = PackPixel(255, 0, 0);
constexpr uint32_t kWhitePixel = PackPixel(255, 255, 255);
constexpr uint32_t kBlackPixel = PackPixel(0, 0, 0);

}  // namespace hv
