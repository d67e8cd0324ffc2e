#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "recording/auto_snap_recorder.h"

namespace hv {

// Runs on the Auto Snap recording thread (below normal) until the run flag
// falls: reads conduit7's analysis frames and records triggered snapshots.
int AutoSnapThread(void*) {
  AutoSnapRecorder recorder(&conduit7);
  while (IsRunning()) {
    if (recorder.Pass()) {
      YieldThread();
      continue;
    }
    recorder.Idle();
    // At rest only frames, the Record switch or the mode (station changes) can
    // move the recorder; an open snapshot keeps the short wait.
    const int state = g_autoSnapState.load(std::memory_order_relaxed);
    const bool atRest = state == kSnapIdle || state == kSnapFailed;
    conduit7.WaitReadable(atRest ? kReaderIdleWaitMs : kReaderWaitMs,
                          AutoSnapRecorder::kReadFrames * sizeof(SpectrumFrame));
  }
  recorder.Abandon();  // an open snapshot keeps its temporary name
  return 0;
}

}  // namespace hv
