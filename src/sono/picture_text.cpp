#include "sono/picture_text.h"

#include "ui/toolkit/xs_records.h"

namespace hv {

void DrawPictureText(std::vector<uint32_t>* pixels, int width, int height, const char* text, int x, int y,
                     uint32_t colour) {
  // A window record that is never shown lends its surface to the toolkit's text drawing.
  XsWindow canvas;
  canvas.surface.width = width;
  canvas.surface.height = height;
  canvas.surface.pixels.swap(*pixels);
  {
    std::lock_guard<std::mutex> lock(canvas.surface.lock);
    xs::DrawTextLocked(&canvas, text ? text : "", x, y, colour);
  }
  canvas.surface.pixels.swap(*pixels);
}

void PictureTextExtent(const char* text, int* width, int* height) {
  xs::BuiltinTextExtent(text ? text : "", width, height);
}

}  // namespace hv
