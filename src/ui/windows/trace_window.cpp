#include "ui/windows/trace_window.h"

#include <algorithm>
#include <vector>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/bitmap_resource.h"
#include "display/mouse_state.h"
#include "display/trace_plot.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/main_window_controls.h"
#include "ui/windows/trace_window_controls.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {
constexpr int kBackgroundResource = 103;
}  // namespace

// Runs on the main thread.
int SpectralTraceHandler(XsWindow* w, int event, int* data) {
  switch (event) {
    case kXsPaint: {
      LockGuard lock(g_displayLock);
      TracePlotPaintLocked(w);
      break;
    }
    case kXsClose:
      XsWindowHide(w);
      XsMenuUncheck(g_mainWindow, kToolSpectralTrace);
      g_traceShown.store(false, std::memory_order_relaxed);
      break;
    case kXsMouseMove:
    case kXsLeftDown:
    case kXsDrag:
    case kXsLeftUp:
    case kXsRightUp:
      RecordMouseEvent(w, event, data[0], data[1]);
      break;
    case kXsButton:
      if (data[0] == kTracePeakHold) g_peakHold.store(XsCheckGet(w, kTracePeakHold), std::memory_order_relaxed);
      break;
    default:
      break;
  }
  return 0;
}

// Runs on the main thread.
XsWindow* CreateSpectralTraceWindow() {
  XsWindow* w = CreateToolWindow(SpectralTraceHandler, kXsFixedTool, "Spectral Trace", kTraceWindowWidth,
                                 kTraceWindowHeight, 576, 192);
  if (!w) return nullptr;
  {
    // Copied into the existing bitmap: the plot and the readout keep pointing at it.
    std::vector<uint32_t> background =
        BuildWindowBackground(kBackgroundResource, kTraceWindowWidth, kTraceWindowHeight);
    LockGuard lock(g_displayLock);
    std::copy(background.begin(), background.end(), TraceBitmap().begin());
  }
  g_spectralTraceWindow = w;
  AddControl(w, {kTracePeakHold, kXsCheckBox, 472, 240, 80, 32, "Peak Hold"});
  XsCheckSet(w, kTracePeakHold, false);
  g_peakHold.store(false, std::memory_order_relaxed);
  return w;
}

}  // namespace hv
