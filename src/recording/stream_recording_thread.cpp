#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "recording/stream_recorder.h"

namespace hv {

namespace {
// Chunks a resting recorder lets gather before it wakes (16 KiB: 33 ms of a
// 250 kHz stream, well inside Conduit3's capacity).
constexpr uint32_t kRestingChunks = 32;
}  // namespace

// Runs on the stream recording thread (below normal) until the run flag falls:
// records Conduit3 in the modes Continuous, Buffered Snap and Audio.
int StreamRecordingThread(void*) {
  StreamRecorder recorder(&conduit3);
  while (IsRunning()) {
    if (recorder.Pass()) continue;
    // At rest only data, the Record switch or the mode (station changes) can
    // move the recorder, and the stream it passes over may wait in bigger
    // pieces (nothing is late: a start mark is found wherever it lies). An
    // open recording keeps the short wait and wakes for every chunk.
    const int state = g_streamRecorderState.load(std::memory_order_relaxed);
    const bool atRest = state == kStreamIdle || state == kStreamFailed;
    if (atRest)
      conduit3.WaitReadable(kReaderIdleWaitMs, kRestingChunks * StreamRecorder::kChunkBytes);
    else
      conduit3.WaitReadable(kReaderWaitMs, StreamRecorder::kChunkBytes);
  }
  recorder.Abandon();  // an open recording keeps its temporary name
  return 0;
}

}  // namespace hv
