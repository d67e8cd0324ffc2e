// The sound refill thread: answers the sound buffer's notification points by
// refilling the quarters the device has finished playing.
#include "audio/sound_manager.h"
#include "audio/sound_output.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"

namespace hv {

// Runs on the sound refill thread until the run flag falls. Only the event
// wakes it: the device's notification points, and the run flag's fall (which
// signals the event). The bound only guards against a wake-up that never comes.
int SoundRefillThread(void*) {
  while (IsRunning()) {
    if (!g_soundEvent.Wait(kReaderIdleWaitMs)) continue;
    if (!IsRunning()) break;
    LockGuard lock(g_soundLock);
    if (!lock.held()) continue;  // skip this refill
    if (g_streamingSound && SoundFailed(g_streamingSound->ServiceNotifications()))
      SoundOutput::NoteRefillFailure();
  }
  return 0;
}

}  // namespace hv
