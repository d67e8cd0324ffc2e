// The Spectral Trace window: the live spectrum curve drawn by the spectral
// trace thread on a framed background (resource 103), with a Peak Hold check box.
#pragma once

struct XsWindow;

namespace hv {

// Creates the window hidden (main thread, at start-up), builds its background
// bitmap and sets g_spectralTraceWindow.
XsWindow* CreateSpectralTraceWindow();

// The window's event handler (main thread).
int SpectralTraceHandler(XsWindow* w, int event, int* data);

}  // namespace hv
