// The shared mouse state: what the window handlers of the main window, the
// Tessagram window and the Spectral Trace window saw last, polled by the display
// thread (mouse_work.h), which turns it into tuning changes and cursor readouts.
// Handlers write on the main thread; each point is published whole in one atomic.
#pragma once

#include <atomic>
#include <cstdint>

struct XsWindow;

namespace hv {

struct MousePoint {
  int x = -1, y = -1;
  bool operator==(const MousePoint&) const = default;
};

class AtomicPoint {
 public:
  MousePoint load() const {
    uint64_t v = bits_.load(std::memory_order_relaxed);
    return MousePoint{int32_t(uint32_t(v >> 32)), int32_t(uint32_t(v))};
  }
  void store(MousePoint p) {
    bits_.store((uint64_t(uint32_t(p.x)) << 32) | uint32_t(p.y), std::memory_order_relaxed);
  }

 private:
  std::atomic<uint64_t> bits_{0xFFFFFFFFFFFFFFFFull};
};

struct SharedMouseState {
  std::atomic<XsWindow*> eventWindow{nullptr};      // the window of the latest mouse event
  AtomicPoint hover;                                // pointer position without a button
  AtomicPoint down;                                 // left button down
  AtomicPoint drag;                                 // pointer while the left button is held
  AtomicPoint up;                                   // last button up: the reference point
  std::atomic<XsWindow*> referenceWindow{nullptr};  // the window of the reference point
  std::atomic<uint32_t> upCount{0};                 // counts button-ups, so a repeat is seen
};

extern SharedMouseState g_mouse;

// Records a mouse event of a window handler (main thread): mouse move (13),
// left down (16), drag (17), left up (18), right up (19); other events are
// ignored. A right-button release clears the reference point only when
// `mayClearReference` (the main window passes false while a recording runs).
void RecordMouseEvent(XsWindow* window, int event, int x, int y, bool mayClearReference = true);

// Puts the state back to "nothing seen" (tests).
void ResetMouseState();

}  // namespace hv
