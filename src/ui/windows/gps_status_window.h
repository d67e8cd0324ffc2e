// The GPS Status window: the receiver's description, position, fix and six
// satellite lines, written by the GPS thread and read by the recorders.
#pragma once

struct XsWindow;

namespace hv {

// Creates the window and its fields and sets g_gpsStatusWindow. Main thread.
XsWindow* CreateGpsStatusWindow();
int GpsStatusHandler(XsWindow* w, int event, int* data);

}  // namespace hv
