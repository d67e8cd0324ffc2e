#include "display/mouse_state.h"

#include "core/station_state.h"
#include "ui/toolkit/xs.h"

namespace hv {

SharedMouseState g_mouse;

// Runs on the main thread, inside the window handlers.
void RecordMouseEvent(XsWindow* window, int event, int x, int y, bool mayClearReference) {
  MousePoint p{x, y};
  switch (event) {
    case kXsMouseMove:
      g_mouse.hover.store(p);
      break;
    case kXsLeftDown:
      g_mouse.down.store(p);
      break;
    case kXsDrag:
      g_mouse.drag.store(p);
      break;
    case kXsLeftUp:
      g_mouse.up.store(p);
      g_mouse.referenceWindow.store(window, std::memory_order_relaxed);
      g_mouse.upCount.fetch_add(1, std::memory_order_release);  // pairs with the display thread's acquire
      break;
    case kXsRightUp:
      if (!mayClearReference) break;
      g_mouse.up.store(MousePoint{});
      g_mouse.upCount.fetch_add(1, std::memory_order_release);  // pairs with the display thread's acquire
      break;
    default:
      return;
  }
  g_mouse.eventWindow.store(window, std::memory_order_relaxed);
  // The display thread does the mouse work between reads of conduit6: end its
  // wait so that a drag is followed at once even while no stream runs.
  conduit6.Wake();
}

void ResetMouseState() {
  g_mouse.eventWindow.store(nullptr, std::memory_order_relaxed);
  g_mouse.hover.store(MousePoint{});
  g_mouse.down.store(MousePoint{});
  g_mouse.drag.store(MousePoint{});
  g_mouse.up.store(MousePoint{});
  g_mouse.referenceWindow.store(nullptr, std::memory_order_relaxed);
}

}  // namespace hv
