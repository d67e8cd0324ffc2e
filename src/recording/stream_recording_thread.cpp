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
    if (!recorder.Pass()) conduit3.WaitReadable(kReaderWaitMs, StreamRecorder::kChunkBytes);
  }
  recorder.Abandon();  // an open recording keeps its temporary name
  return 0;
}

}  // namespace hv
