// The two 32-tap response filters applied to the conditioned stream:
// compensation turns the receiver's natural response flat, restoration turns a
// flat (compensated) stream back into the natural response. Applied as
// out[n] = sum over m of coef[m] * x[n - 32 + m], m = 0..31 (x[n - 32] oldest).
#pragma once

namespace hv {

constexpr int kResponseTaps = 32;
extern const float kCompensationTable[kResponseTaps];
extern const float kRestorationTable[kResponseTaps];

}  // namespace hv
