// The two windows the display draws into: the main window (the sonogram plot,
// its time and frequency axes and the readout) and the Spectral Trace window
// (the trace plot and its readout). The window set stores them here when it
// creates the windows, on the main thread at start-up, before any display work
// starts; none until then (drawing on a missing window does nothing).
#pragma once

struct XsWindow;

namespace hv {

extern XsWindow* g_mainWindow;
extern XsWindow* g_spectralTraceWindow;

}  // namespace hv
