// The Spectral Trace window's controls by id.
#pragma once

namespace hv {

enum SpectralTraceControl : int { kTracePeakHold = 316 };

}  // namespace hv
