#include "sono/picture_text.h"

#include "ui/toolkit/xs.h"

namespace hv {

void DrawPictureText(std::vector<uint32_t>* pixels, int width, int height, const char* text, int x, int y,
                     uint32_t colour) {
  XsDrawTextOnPixels(pixels, width, height, text, x, y, colour);
}

void PictureTextExtent(const char* text, int* width, int* height) { XsTextExtent(text, width, height); }

}  // namespace hv
