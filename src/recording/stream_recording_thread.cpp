#include "app/worker_routines.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "recording/stream_recorder.h"

namespace hv {

// Runs on the stream recording thread (below normal) until the run flag falls:
// records Conduit3 in the modes Continuous, Buffered Snap and Audio.
int StreamRecordingThread(void*) {
  StreamRecorder recorder(&conduit3);
  while (IsRunning()) {
    if (recorder.Pass()) continue;
    // At rest only data, the Record switch or the mode (station changes) can
    // move the recorder; an open recording keeps the short wait.
    const int state = g_streamRecorderState.load(std::memory_order_relaxed);
    const bool atRest = state == kStreamIdle || state == kStreamFailed;
    conduit3.WaitReadable(atRest ? kReaderIdleWaitMs : kReaderWaitMs, StreamRecorder::kChunkBytes);
  }
  recorder.Abandon();  // an open recording keeps its temporary name
  return 0;
}

}  // namespace hv
