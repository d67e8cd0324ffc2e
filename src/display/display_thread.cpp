#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "display/column_analyser.h"
#include "display/display_engine.h"
#include "display/sonogram_image.h"

namespace hv {

// Runs on the display worker thread until the run flag falls: feeds the main
// window's spectrogram from conduit6 and does the mouse work of the windows.
int DisplayThread(void*) {
  DisplayEngine engine(&conduit6, &g_spectrogram, MakeColumnAnalyser());
  engine.start(g_deviceSampleRate.load(std::memory_order_relaxed));
  while (IsRunning()) {
    engine.runOnce(true);
    YieldThread();
  }
  return 0;
}

}  // namespace hv
