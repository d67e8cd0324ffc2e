// The sound refill thread: answers the sound buffer's notification points by
// refilling the quarters the device has finished playing.
#include "app/worker_routines.h"
#include "audio/sound_manager.h"
#include "audio/sound_output.h"
#include "core/runtime.h"
#include "core/station_state.h"

namespace hv {

// Runs on the sound refill thread until the run flag falls. The wait is bounded
// (100 ms) so the thread sees the run flag fall; this thread has no message
// queue of its own, so only the event and the time-out wake it.
int SoundRefillThread(void*) {
  while (IsRunning()) {
    if (!g_soundEvent.Wait(100)) continue;
    if (!IsRunning()) break;
    LockGuard lock(g_soundLock);
    if (!lock.held()) continue;  // skip this refill
    if (g_streamingSound && SoundFailed(g_streamingSound->ServiceNotifications()))
      SoundOutput::NoteRefillFailure();
  }
  return 0;
}

}  // namespace hv
