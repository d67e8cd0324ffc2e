#include "ui/windows/control_layout.h"

#include "core/station_state.h"

namespace hv {

void AddControl(XsWindow* w, const ControlLayout& c) {
  XsControlCreate(w, c.id, c.kind);
  XsControlMove(w, c.id, c.x, c.y);
  XsControlResize(w, c.id, c.width, c.height);
  if (c.text) XsControlSetText(w, c.id, c.text);
  XsControlShow(w, c.id);
  XsControlEnable(w, c.id);
}

XsWindow* CreateToolWindow(XsHandler handler, int kind, const char* title, int width, int height, int x, int y) {
  XsWindow* w = XsWindowCreate(handler, kind);
  if (!w) return nullptr;
  const int b = g_instanceOffset.load(std::memory_order_relaxed);
  XsWindowSetTitle(w, title);
  XsWindowSetClientSize(w, width, height);
  XsWindowMove(w, b + x, b + y);
  return w;
}

}  // namespace hv
