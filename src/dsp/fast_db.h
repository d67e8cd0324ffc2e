// Power to decibels for whole arrays: out[i] = 10 log10(p[i] + 1e-20) + offset.
// Four values at a time from the float's exponent and a short series for the
// mantissa's logarithm; agrees with 10*log10f within 2e-5 dB for positive powers.
#pragma once

namespace hv {

void PowerToDb(const float* power, int count, float offset, float* out);

}  // namespace hv
