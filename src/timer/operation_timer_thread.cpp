#include "core/station_state.h"
#include "core/worker_routines.h"
#include "timer/station_timer.h"

namespace hv {

// Runs on the operation timer thread (below normal priority): one timer pass a
// second until the run flag falls; every pause ends early when it falls.
int OperationTimerThread(void*) {
  StationTimerClock clock;
  StationTimerActions actions;
  OperationTimer timer(clock, actions);
  while (IsRunning()) timer.Step();
  return 0;
}

}  // namespace hv
