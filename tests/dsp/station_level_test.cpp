#include "dsp/station_level.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace hv {
namespace {

// Against 10 log10(P + 1e-20) - 20 log10(N) + V in double precision, over
// powers from none to far above full scale, for both transform sizes and the
// receiver offsets in use; 13 values run through the four-wide path and its tail.
TEST(StationLevels, AgreeWithTheLevelFormula) {
  const std::vector<float> powers = {0.0f, 1e-12f, 0.5f, 1.0f, 2.0f, 10.0f, 1234.5f, 8.25e7f,
                                     3.3e9f, 1e15f, 7.0e20f, 1e-20f, 4.0f};
  for (int n : {256, 512})
    for (float v : {19.0f, 14.0f, 0.0f}) {
      std::vector<float> out(powers.size());
      StationLevels(powers.data(), int(powers.size()), n, v, out.data());
      for (size_t i = 0; i < powers.size(); ++i) {
        const double ref = 10.0 * std::log10(double(powers[i]) + 1e-20) - 20.0 * std::log10(double(n)) + v;
        EXPECT_NEAR(out[i], ref, 1e-4) << "N " << n << " V " << v << " P " << powers[i];
      }
    }
  EXPECT_NEAR(TransformTermDb(1024), 60.2059991, 1e-5);
}

TEST(StationLevels, WorkInPlace) {
  std::vector<float> p = {1.0f, 100.0f, 1e6f, 0.01f, 1e4f};
  StationLevels(p.data(), int(p.size()), 256, 19.0f, p.data());
  const float g = 19.0f - 48.1647993f;
  const std::vector<float> want = {g, 20.0f + g, 60.0f + g, -20.0f + g, 40.0f + g};
  for (size_t i = 0; i < p.size(); ++i) EXPECT_NEAR(p[i], want[i], 1e-4) << i;
}

}  // namespace
}  // namespace hv
