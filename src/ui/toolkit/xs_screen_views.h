// The screen back end's views of the toolkit's records: one FLTK window per
// toolkit window, one widget per control. Everything declared here runs on the
// main thread only (the thread that runs the FLTK event loop). No GUI headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/toolkit/xs_records.h"

class Fl_Widget;

namespace xs {

struct ControlView {
  int id = 0;
  int kind = 0;
  uint64_t serial = 0;
  uint32_t version = 0;  // the record version the widget shows
  Fl_Widget* widget = nullptr;
  std::vector<std::string> items;  // the list items the widget holds
};

// Creates the widget for a control record (not yet placed in a window).
Fl_Widget* CreateControlWidget(XsWindow* w, const ControlRecord& record);
// Brings the widget up to date with the record; `top` is the client area's
// offset inside the window (the menu bar's height).
void ApplyControl(const ControlRecord& record, ControlView* view, int top);

// Creates the window's view when needed and brings it up to date.
void SyncWindowView(XsWindow* w, bool recordsChanged, bool surfaceChanged);
// Input to windows other than `w` (and its controls) is dropped while it is set.
void SetModalView(XsWindow* w);

// Records a change made by the user on the screen (the widget already shows
// it), so the screen does not apply it back. `fn` edits the record.
template <typename F>
void UpdateFromScreen(XsWindow* w, int id, F fn) {
  std::lock_guard<std::mutex> g(w->rec.lock);
  if (ControlRecord* c = FindControl(w, id)) fn(*c);
}

// Chooses the controls' font; after the display is open, before any control exists.
void ChooseControlFont();

// The FLTK key as the virtual-key code handlers expect; 0 for Shift and Control.
int VirtualKey(int flKey);
int KeyState();

}  // namespace xs
