#include "dsp/conduit_write.h"

#include "core/runtime.h"
#include "core/station_state.h"

namespace hv {

bool WriteWhileRunning(Conduit& conduit, const void* bytes, uint32_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    uint32_t accepted = 0;
    if (conduit.Write(count, p, &accepted) != kStatusOk) return false;
    p += accepted;
    count -= accepted;
    if (count == 0) break;
    if (!IsRunning()) return false;
    SleepSeconds(0.001);
  }
  return true;
}

}  // namespace hv
