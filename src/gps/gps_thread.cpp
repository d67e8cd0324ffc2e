#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "gps/gps_session.h"
#include "gps/gps_model_fields.h"

namespace hv {

namespace {
void SleepUnlessStopping(double seconds) { SleepWhileRunning(seconds); }
}  // namespace

// Runs on the GPS thread (below normal priority). Every wait is bounded (2 s
// at most per read, 1 s between attempts to open), so the station can join it.
int GpsThread(void*) {
  GarminInterface gps;
  ModelGpsFields fields;
  GpsSession session(gps, fields, SleepUnlessStopping);
  while (IsRunning()) session.Step();
  session.Finish();
  DiagPrint("Return \n");
  return 0;
}

}  // namespace hv
