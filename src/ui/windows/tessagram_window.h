// The Tessagram window: the control panel of the main window's spectrogram.
// Pause button, sliders for the trigger threshold, the time detail and the
// number of divisions, and two frequency marker lines with their edit boxes.
#pragma once

struct XsWindow;

namespace hv {

// Creates the window hidden (main thread, at start-up) and sets g_tessagramWindow.
XsWindow* CreateTessagramWindow();

// The window's event handler (main thread).
int TessagramHandler(XsWindow* w, int event, int* data);

// Parses a marker edit text by the number rule of the edit fields.
bool ParseMarkerNumber(const char* text, double* value);

}  // namespace hv
