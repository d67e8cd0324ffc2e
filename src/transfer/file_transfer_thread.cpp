#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "transfer/file_xfer.h"
#include "transfer/transfer_worker.h"

namespace hv {

namespace {
// Safety bound of the inactive wait; the switches' changes end it.
constexpr double kInactiveWaitSeconds = 60.0;
}  // namespace

// Runs on the file transfer thread (below normal priority): one upload turn,
// then its pause, which ends as soon as the run flag falls. While transfers are
// off the thread sleeps until a station change (the enable switch, the power
// saver) instead of looking every pause. The session is closed when the thread ends.
int FileTransferThread(void*) {
  FileXfer xfer;
  FileTransferWorker worker(xfer);
  while (IsRunning()) {
    const uint64_t seen = StationChangeCount();
    const double pause = worker.Turn();
    if (worker.Status() == "InActive")
      WaitForStationChange(seen, kInactiveWaitSeconds);
    else
      SleepWhileRunning(pause);
  }
  return 0;
}

}  // namespace hv
