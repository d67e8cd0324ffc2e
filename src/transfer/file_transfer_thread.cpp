#include "app/worker_routines.h"
#include "core/runtime.h"
#include "core/station_state.h"

namespace hv {

// Runs on its own worker thread until the run flag falls.
int FileTransferThread(void*) {
  while (IsRunning()) SleepSeconds(0.1);
  return 0;
}

}  // namespace hv
