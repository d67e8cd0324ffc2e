// Text on pictures made without a window: the toolkit's built-in font drawn
// into a plain pixel buffer (0x00RRGGBB words, rows top-down).
#pragma once

#include <cstdint>
#include <vector>

namespace hv {

// Draws `text` with its cell's top left corner at (x, y); clipped to the buffer.
void DrawPictureText(std::vector<uint32_t>* pixels, int width, int height, const char* text, int x, int y,
                     uint32_t colour);
// Width and height in pixels of `text`.
void PictureTextExtent(const char* text, int* width, int* height);

}  // namespace hv
