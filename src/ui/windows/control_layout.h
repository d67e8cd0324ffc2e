// Building a window from a table: each control's id, kind, position, size and
// initial text, created shown and enabled; and a tool window created hidden with
// its title, client size and position shifted by the instance offset.
// Main thread, at start-up.
#pragma once

#include <cstddef>

#include "ui/toolkit/xs.h"

namespace hv {

struct ControlLayout {
  int id, kind, x, y, width, height;
  const char* text;  // none: the control starts empty
};

void AddControl(XsWindow* w, const ControlLayout& c);

template <size_t N>
void AddControls(XsWindow* w, const ControlLayout (&layout)[N]) {
  for (const ControlLayout& c : layout) AddControl(w, c);
}

// Creates a hidden window, titles and sizes it, and moves it to (x, y) plus the
// instance offset. None when the toolkit cannot create it.
XsWindow* CreateToolWindow(XsHandler handler, int kind, const char* title, int width, int height, int x, int y);

}  // namespace hv
