#include "dsp/station_level.h"

#include <cmath>

#include "dsp/fast_db.h"

namespace hv {

namespace {
// 20 log10(N) of the two transform sizes the station uses, rounded from double.
constexpr float kTerm256 = static_cast<float>(48.164799306236993);
constexpr float kTerm512 = static_cast<float>(54.185399219516618);
}  // namespace

float TransformTermDb(int transformSize) {
  if (transformSize == 256) return kTerm256;
  if (transformSize == 512) return kTerm512;
  return static_cast<float>(20.0 * std::log10(static_cast<double>(transformSize)));
}

void StationLevels(const float* power, int count, int transformSize, float receiverOffsetDb, float* out) {
  PowerToDb(power, count, receiverOffsetDb - TransformTermDb(transformSize), out);
}

}  // namespace hv
