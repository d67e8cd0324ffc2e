// Writes to a downstream conduit with back-pressure: retries in 1 ms steps
// until the conduit has accepted every byte or the run flag falls.
#pragma once

#include <cstdint>

#include "core/conduit.h"

namespace hv {

// Returns true when all bytes were accepted (false when the run flag fell first
// or the conduit refused the write).
bool WriteWhileRunning(Conduit& conduit, const void* bytes, uint32_t count);

}  // namespace hv
