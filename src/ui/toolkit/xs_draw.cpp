// Immediate-mode drawing into each window's own surface: a BGRX pixel buffer
// of the client size. What is drawn stays until drawn over; the screen back end
// shows the surface. Worker threads draw under the display lock; the surface
// has its own short lock so the main thread can copy it out at any time.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ui/toolkit/xs_records.h"

using namespace xs;

namespace {

constexpr uint32_t kWindowColour = 0xFFFFFF;      // system window colour
constexpr uint32_t kWindowTextColour = 0x000000;  // system window-text colour
constexpr uint32_t kFaceColour = 0xF0F0F0;        // a fresh window's background

// 0x00RRGGBB is also the BGRX byte order in memory on a little-endian machine.
inline uint32_t Pixel(XsWindow* w) { return w->color.load(std::memory_order_relaxed) & 0xFFFFFF; }

inline void Plot(Surface& s, int x, int y, uint32_t p) {
  if (x >= 0 && y >= 0 && x < s.width && y < s.height) s.pixels[static_cast<size_t>(y) * s.width + x] = p;
}

void LineLocked(Surface& s, int x1, int y1, int x2, int y2, uint32_t p) {
  int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
  int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    Plot(s, x1, y1, p);
    if (x1 == x2 && y1 == y2) break;
    int e2 = 2 * err;
    if (e2 >= dy) err += dy, x1 += sx;
    if (e2 <= dx) err += dx, y1 += sy;
  }
}

}  // namespace

namespace xs {

void FitSurface(XsWindow* w, int width, int height) {
  Surface& s = w->surface;
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (s.width == width && s.height == height) return;
    std::vector<uint32_t> next(static_cast<size_t>(width) * height, kFaceColour);
    int cw = std::min(width, s.width), ch = std::min(height, s.height);
    for (int y = 0; y < ch; ++y)
      std::memcpy(&next[static_cast<size_t>(y) * width], &s.pixels[static_cast<size_t>(y) * s.width], cw * 4);
    s.pixels.swap(next);
    s.width = width;
    s.height = height;
  }
  SurfaceChanged(w);
}

}  // namespace xs

bool XsDrawSetColor(XsWindow* w, int red, int green, int blue) {
  if (!w) return false;
  w->color.store(((red & 255) << 16) | ((green & 255) << 8) | (blue & 255), std::memory_order_relaxed);
  return true;
}

uint32_t XsDrawGetColor(XsWindow* w) { return w ? Pixel(w) : 0; }

bool XsDrawSetColorWindowText(XsWindow* w) {
  if (!w) return false;
  w->color.store(kWindowTextColour, std::memory_order_relaxed);
  return true;
}

bool XsDrawSetColorWindow(XsWindow* w) {
  if (!w) return false;
  w->color.store(kWindowColour, std::memory_order_relaxed);
  return true;
}

bool XsDrawPixel(XsWindow* w, int x, int y) {
  if (!w) return false;
  {
    std::lock_guard<std::mutex> g(w->surface.lock);
    Plot(w->surface, x, y, Pixel(w));
  }
  SurfaceChanged(w);
  return true;
}

bool XsDrawLine(XsWindow* w, int x1, int y1, int x2, int y2) {
  if (!w) return false;
  {
    std::lock_guard<std::mutex> g(w->surface.lock);
    LineLocked(w->surface, x1, y1, x2, y2, Pixel(w));
  }
  SurfaceChanged(w);
  return true;
}

bool XsDrawLines(XsWindow* w, const int* points, int count) {
  if (!w || !points || count < 0) return false;
  uint32_t p = Pixel(w);
  {
    std::lock_guard<std::mutex> g(w->surface.lock);
    if (count == 1) Plot(w->surface, points[0], points[1], p);
    for (int i = 1; i < count; ++i)
      LineLocked(w->surface, points[2 * i - 2], points[2 * i - 1], points[2 * i], points[2 * i + 1], p);
  }
  SurfaceChanged(w);
  return true;
}

bool XsDrawRect(XsWindow* w, int left, int top, int width, int height) {
  if (!w) return false;
  uint32_t p = Pixel(w);
  {
    std::lock_guard<std::mutex> g(w->surface.lock);
    Surface& s = w->surface;
    int x0 = std::max(left, 0), y0 = std::max(top, 0);
    int x1 = std::min(left + width, s.width), y1 = std::min(top + height, s.height);
    for (int y = y0; y < y1; ++y) std::fill_n(&s.pixels[static_cast<size_t>(y) * s.width + x0], std::max(0, x1 - x0), p);
  }
  SurfaceChanged(w);
  return true;
}

bool XsDrawText(XsWindow* w, const char* text, int x, int y) {
  if (!w || !text) return false;
  {
    std::lock_guard<std::mutex> g(w->surface.lock);
    DrawTextLocked(w, text, x, y, Pixel(w));
  }
  SurfaceChanged(w);
  return true;
}

// Stretch-copies the source rectangle (sx, sy, sw, sh) of a top-down BGRX image
// onto (dx, dy, dw, dh), nearest pixel. Rows are counted from the image's top.
bool XsDrawImage(XsWindow* w, const uint32_t* pixels, int imageWidth, int imageHeight, int dx, int dy,
                 int dw, int dh, int sx, int sy, int sw, int sh) {
  if (!w || !pixels || imageWidth <= 0 || imageHeight <= 0) return false;
  if (sw == -1) sw = imageWidth - sx;
  if (sh == -1) sh = imageHeight - sy;
  // Clip the source rectangle to the image.
  if (sx < 0) sw += sx, sx = 0;
  if (sy < 0) sh += sy, sy = 0;
  sw = std::min(sw, imageWidth - sx);
  sh = std::min(sh, imageHeight - sy);
  if (dw == -1) dw = sw;
  if (dh == -1) dh = sh;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return true;  // nothing to copy
  {
    std::lock_guard<std::mutex> g(w->surface.lock);
    Surface& s = w->surface;
    int x0 = std::max(dx, 0), x1 = std::min(dx + dw, s.width);
    int y0 = std::max(dy, 0), y1 = std::min(dy + dh, s.height);
    if (x0 < x1 && y0 < y1) {
      std::vector<int> column(x1 - x0);
      for (int x = x0; x < x1; ++x)
        column[x - x0] = sx + static_cast<int>(static_cast<int64_t>(x - dx) * sw / dw);
      bool straight = (sw == dw);
      for (int y = y0; y < y1; ++y) {
        int srcRow = sy + static_cast<int>(static_cast<int64_t>(y - dy) * sh / dh);
        const uint32_t* src = pixels + static_cast<size_t>(srcRow) * imageWidth;
        uint32_t* dst = &s.pixels[static_cast<size_t>(y) * s.width];
        if (straight) {
          const uint32_t* from = src + column[0] - x0;
          for (int x = x0; x < x1; ++x) dst[x] = from[x] & 0xFFFFFF;
        } else {
          for (int x = x0; x < x1; ++x) dst[x] = src[column[x - x0]] & 0xFFFFFF;
        }
      }
    }
  }
  SurfaceChanged(w);
  return true;
}

bool XsReadSurface(XsWindow* w, std::vector<uint32_t>* pixels, int* width, int* height) {
  if (!w || !pixels) return false;
  std::lock_guard<std::mutex> g(w->surface.lock);
  *pixels = w->surface.pixels;
  if (width) *width = w->surface.width;
  if (height) *height = w->surface.height;
  return true;
}
