// The display thread's mouse work: turns the shared mouse state (mouse_state.h)
// into tuning drags on the main window's frequency axis or the trace plot, the
// reference point of a click, and the hover readouts with their differences.
#pragma once

#include <cstdint>

#include "display/mouse_state.h"

namespace hv {

class MouseWork {
 public:
  // One round: release, drag in progress, hover readout. Runs on the display
  // thread; takes the display lock around its drawing.
  void run();

  MousePoint reference() const { return lastUp_; }

 private:
  void release();
  void dragInProgress();
  void hoverReadout();
  // The frequency (Hz) under a point of the window's tuning surface.
  bool tuningFrequencyAt(XsWindow* w, MousePoint p, double* hz) const;

  MousePoint lastUp_{};  // the reference point
  XsWindow* referenceWindow_ = nullptr;
  uint32_t lastUpCount_ = 0;
  MousePoint lastDrag_{};
  MousePoint lastHover_{};
  bool forceHover_ = false;
};

// The offset for a drag from `downHz` to `dragHz` around `tuneHz`: rounded to a
// multiple of 250 Hz, then held so that tune + offset stays within the limits.
float TuneOffsetForDrag(double downHz, double dragHz, float tuneHz, float lowerHz, float upperHz);

}  // namespace hv
