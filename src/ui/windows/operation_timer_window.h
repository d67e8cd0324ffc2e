// The Operation Timer window: the clock and status the timer thread writes,
// the two programs (enable box, start and stop times, recording base path,
// comment) and the power saver switch.
#pragma once

struct XsWindow;

namespace hv {

// Creates the window (title, size, position, controls from the settings and
// history) and sets g_operationTimerWindow. Main thread.
XsWindow* CreateOperationTimerWindow();
// Its event handler. Main thread.
int OperationTimerHandler(XsWindow* w, int event, int* data);

}  // namespace hv
