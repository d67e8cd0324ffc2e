#include "display/column_analyser.h"

#include <cmath>
#include <memory>

namespace hv {

namespace {

// Four-term Blackman-Harris window and a direct transform over the 128 bins
// the image shows.
class DirectAnalyser {
 public:
  DirectAnalyser() {
    for (int i = 0; i < 256; ++i) {
      double a = i / 255.0 * 6.2831853;
      window_[i] = float(0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a) - 0.01168 * std::cos(3 * a));
    }
    for (int i = 0; i < 256; ++i) {
      cos_[i] = float(std::cos(2.0 * M_PI * i / 256.0));
      sin_[i] = float(std::sin(2.0 * M_PI * i / 256.0));
    }
  }
  bool operator()(const float* samples, int count, float* power, int capacity) {
    if (count > 256 || count < 0) return false;
    float x[256] = {};
    for (int i = 0; i < count; ++i) x[i] = samples[i] * window_[i];
    int bins = capacity < 128 ? capacity : 128;
    for (int m = 0; m < bins; ++m) {
      float re = 0.0f, im = 0.0f;
      for (int n = 0, k = 0; n < 256; ++n, k = (k + m) & 255) {
        re += x[n] * cos_[k];
        im -= x[n] * sin_[k];
      }
      power[m] = re * re + im * im;
    }
    return true;
  }

 private:
  float window_[256];
  float cos_[256];
  float sin_[256];
};

}  // namespace

PowerSpectrumFunction MakeColumnAnalyser() {
  auto analyser = std::make_shared<DirectAnalyser>();
  return [analyser](const float* s, int n, float* p, int cap) { return (*analyser)(s, n, p, cap); };
}

}  // namespace hv
