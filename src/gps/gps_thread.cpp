#include "app/worker_routines.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/status_print.h"
#include "gps/gps_session.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

// Writes the GPS Status window's fields through the toolkit (no display lock:
// the toolkit's records answer at once).
class WindowGpsFields : public GpsFields {
 public:
  void SetText(int id, const std::string& text) override {
    XsControlSetText(g_gpsStatusWindow, id, text.c_str());
    if (id == kGpsDevice || id == kGpsFix) {
      std::string& last = id == kGpsDevice ? device_ : fix_;
      if (last != text) StatusPrint("GPS %s", text.c_str());
      last = text;
    }
  }
  void SetEnabled(int id, bool enabled) override {
    if (enabled) XsControlEnable(g_gpsStatusWindow, id);
    else XsControlDisable(g_gpsStatusWindow, id);
  }

 private:
  std::string device_, fix_;
};

void SleepUnlessStopping(double seconds) { SleepWhileRunning(seconds); }

}  // namespace

// Runs on the GPS thread (below normal priority). Every wait is bounded (2 s
// at most per read, 1 s between attempts to open), so the station can join it.
int GpsThread(void*) {
  GarminInterface gps;
  WindowGpsFields fields;
  GpsSession session(gps, fields, SleepUnlessStopping);
  while (IsRunning()) session.Step();
  session.Finish();
  DiagPrint("Return \n");
  return 0;
}

}  // namespace hv
