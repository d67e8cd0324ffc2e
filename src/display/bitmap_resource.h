// Bitmap resources built into the program, found by id (103: the Spectral
// Trace background), and the window backgrounds made from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hv {

// A decoded view of an uncompressed BMP held in memory.
struct BitmapView {
  int width = 0;
  int height = 0;        // rows
  int bitsPerPixel = 0;
  bool topDown = false;  // rows stored top row first
  size_t stride = 0;     // bytes per stored row
  const uint8_t* rows = nullptr;
  // The stored row that shows picture row `y` (0 = top).
  const uint8_t* row(int y) const { return rows + stride * size_t(topDown ? y : height - 1 - y); }
};

// Parses BMP bytes; false for anything truncated, compressed or malformed.
bool ParseBitmap(const uint8_t* bytes, size_t size, BitmapView* out);

// The resource with this id, or false when there is none.
bool FindBitmapResource(int id, BitmapView* out);

// A window background of width x height: filled with the button-face colour,
// then overwritten by the resource's top rows, top row first; pixels whose blue
// and green are both 255 stay button-face. A resource of another depth than
// 24 bits leaves the plain fill and writes a diagnostic line.
std::vector<uint32_t> BuildWindowBackground(int resourceId, int width, int height);

}  // namespace hv
