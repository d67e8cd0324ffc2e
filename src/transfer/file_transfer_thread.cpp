#include "app/worker_routines.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "transfer/file_xfer.h"
#include "transfer/transfer_worker.h"

namespace hv {

// Runs on the file transfer thread (below normal priority): one upload turn,
// then its pause, sliced so that it ends as soon as the run flag falls. The
// session is closed when the thread ends.
int FileTransferThread(void*) {
  FileXfer xfer;
  FileTransferWorker worker(xfer);
  while (IsRunning()) SleepWhileRunning(worker.Turn());
  return 0;
}

}  // namespace hv
