#include "sono/call_picture.h"

#include <algorithm>
#include <cmath>

#include "display/display_colours.h"
#include "sono/png_writer.h"

namespace hv {

namespace {
constexpr uint32_t kBoxColour = PackPixel(255, 255, 255);
constexpr uint32_t kPeakColour = PackPixel(255, 0, 255);

void Put(SonoPicture* p, int x, int y, uint32_t colour) {
  if (x < p->plotLeft || x >= p->plotLeft + p->plotWidth || y < p->plotTop || y >= p->plotTop + p->plotHeight)
    return;
  p->pixels[size_t(y) * p->width + x] = colour;
}
}  // namespace

void MarkCalls(const std::vector<CallMeasure>& calls, SonoPicture* p) {
  if (!(p->seconds > 0.0) || p->plotWidth <= 0) return;
  auto column = [&](double s) { return p->plotLeft + int(std::lround(s / p->seconds * (p->plotWidth - 1))); };
  for (const CallMeasure& c : calls) {
    // At least three columns wide, so that short calls in long files show.
    int x0 = column(c.startS), x1 = std::max(column(c.endS), x0 + 2);
    const int y0 = p->plotTop + SonoRowForFrequency(*p, c.fMaxHz) - 1;
    const int y1 = p->plotTop + SonoRowForFrequency(*p, c.fMinHz) + 1;
    for (int x = x0; x <= x1; ++x) {
      Put(p, x, y0, kBoxColour);
      Put(p, x, y1, kBoxColour);
    }
    for (int y = y0; y <= y1; ++y) {
      Put(p, x0, y, kBoxColour);
      Put(p, x1, y, kBoxColour);
    }
    const int yPeak = p->plotTop + SonoRowForFrequency(*p, c.fPeakHz);
    for (int x = x0 - 3; x < x0; ++x) Put(p, x, yPeak, kPeakColour);
  }
}

bool WriteCallPicture(const std::string& recording, const std::vector<CallMeasure>& calls,
                      const std::string& pngPath, const SonoOptions& options, std::string* error) {
  SonoPicture picture;
  if (!MakeSonoPicture(recording, options, &picture, error)) return false;
  MarkCalls(calls, &picture);
  return WritePng(pngPath, picture.pixels.data(), picture.width, picture.height, error);
}

}  // namespace hv
