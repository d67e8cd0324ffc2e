#include "display/plot_axis.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "display/display_colours.h"
#include "ui/toolkit/xs.h"

namespace hv {

PlotAxis g_timeAxis;
PlotAxis g_frequencyAxis;

namespace {

// Float to int truncating toward zero, with non-finite values as 0 and the
// result kept inside the int range.
int TruncToInt(double v) {
  if (!std::isfinite(v)) return 0;
  if (v > 2.0e9) return 2000000000;
  if (v < -2.0e9) return -2000000000;
  return static_cast<int>(v);
}

// Restores the window's drawing colour on scope exit.
class ColourKeeper {
 public:
  explicit ColourKeeper(XsWindow* w) : w_(w), saved_(XsDrawGetColor(w)) {}
  ~ColourKeeper() { XsDrawSetColor(w_, PixelRed(saved_), PixelGreen(saved_), PixelBlue(saved_)); }

 private:
  XsWindow* w_;
  uint32_t saved_;
};

}  // namespace

void PlotAxis::setUp(XsWindow* w, int width_, int height_, int left_, int top_, bool farLabels_) {
  window = w;
  width = width_;
  height = height_;
  left = left_;
  top = top_;
  vertical = width_ < height_;
  farLabels = farLabels_;
}

void PlotAxis::setScale(double origin_, double tickCount_, double tickSpacing_) {
  origin = origin_;
  tickCount = tickCount_;
  tickSpacing = tickSpacing_;
}

std::vector<AxisTick> PlotAxis::ticks() const {
  std::vector<AxisTick> out;
  if (!std::isfinite(tickCount) || tickCount < 0.0) return out;
  int n = TruncToInt(tickCount);
  if (n > 10000) n = 10000;  // a degenerate scale never floods the strip
  for (int i = 0; i <= n; ++i) {
    AxisTick t;
    char text[32];
    std::snprintf(text, sizeof text, "%d", TruncToInt(i * tickSpacing + origin));
    t.label = text;
    double fraction = tickCount > 0.0 ? i / tickCount : 0.0;
    if (vertical) {
      int y = top + TruncToInt((1.0 - fraction) * height);
      t.labelX = left + width / 3;
      t.labelY = y;
      t.x1 = left;
      t.y1 = y;
      t.x2 = left + width / 4;
      t.y2 = y;
    } else {
      int x = left + TruncToInt(fraction * width);
      t.labelX = x;
      t.x1 = t.x2 = x;
      if (farLabels) {
        t.labelY = top + height / 4;
        t.y1 = top + 3 * height / 4;
        t.y2 = top + height;
      } else {
        t.labelY = top + height / 2;
        t.y1 = top;
        t.y2 = top + height / 4;
      }
    }
    out.push_back(std::move(t));
  }
  return out;
}

void PlotAxis::drawAxis() const {
  if (!window) return;
  ColourKeeper keep(window);
  XsDrawSetColor(window, 255, 0, 0);
  for (const AxisTick& t : ticks()) {
    XsDrawText(window, t.label.c_str(), t.labelX, t.labelY);
    XsDrawLine(window, t.x1, t.y1, t.x2, t.y2);
  }
}

void PlotAxis::clearFrequencyAxis() const {
  if (!window) return;
  ColourKeeper keep(window);
  XsDrawSetColor(window, kButtonFaceRed, kButtonFaceGreen, kButtonFaceBlue);
  XsDrawRect(window, left, top, width, height);
}

int PlotAxis::valueToPosition(double value) const {
  double s = span();
  double fraction = s != 0.0 ? std::fmod((value - origin) / s, 1.0) : 0.0;
  if (vertical) return TruncToInt((1.0 - fraction) * height);
  return TruncToInt(fraction * width);
}

void PlotAxis::drawBand(double low, double high) const {
  if (!window) return;
  int pHigh = valueToPosition(high);
  int pLow = valueToPosition(low);
  ColourKeeper keep(window);
  XsDrawSetColor(window, 128, 255, 128);
  if (vertical) {
    int first = pHigh, last = pLow;
    if (first < 0 || last < first) first = 0;
    if (last >= height) last = height - 1;
    XsDrawRect(window, left, top + first, width, std::abs(last - first));
  } else {
    XsDrawRect(window, left + pLow, top, std::abs(pHigh - pLow), height);
  }
}

void PlotAxis::drawLine(double value) const {
  if (!window) return;
  int d = valueToPosition(value);
  int limit = vertical ? height : width;
  if (d < 0 || d >= limit) d = 0;
  ColourKeeper keep(window);
  XsDrawSetColor(window, 0, 0, 255);
  if (vertical)
    XsDrawLine(window, left, top + d, left + width, top + d);
  else
    XsDrawLine(window, left + d, top, left + d, top + height);
}

bool PlotAxis::axisPixelToValue(int x, int y, double* value) const {
  if (x < left || x >= left + width || y < top || y >= top + height) return false;
  if (vertical)
    *value = origin + span() * (1.0 - double(y - top) / height);
  else
    *value = origin + span() * double(x - left) / width;
  return true;
}

}  // namespace hv
