// The station's level scale, shared by the spectrum frames, the live
// spectrogram, the spectral trace and the pictures of recordings. A bin of an
// unnormalised N-point transform of a windowed block with power
// P = Re^2 + Im^2 shows as
//   level = 10 log10(P + 1e-20) - 20 log10(N) + V   dB,
// where 20 log10(N) takes out the transform's gain and V is the receiver's
// level offset in dB (set per receiver model; 0 where no receiver is involved).
// A bin without power lands near -200 dB before the offsets.
#pragma once

namespace hv {

// 20 log10(N) for an N-point transform (N > 0).
float TransformTermDb(int transformSize);

// Levels of `count` bin powers of a `transformSize`-point transform into
// `out` (which may be `power` itself).
void StationLevels(const float* power, int count, int transformSize, float receiverOffsetDb, float* out);

}  // namespace hv
