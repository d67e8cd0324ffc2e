// The station's ten windows, created on the main thread at start-up in this
// order (none until then: toolkit calls on a missing window fail and do nothing).
// The main window ("Halvane", g_mainWindow) and the Spectral Trace window
// (g_spectralTraceWindow) are declared with the display, which draws into them.
#pragma once

#include "display/display_surfaces.h"

struct XsWindow;

namespace hv {

extern XsWindow* g_aboutWindow;           // "About"
extern XsWindow* g_playbackWindow;        // "Playback"
extern XsWindow* g_tessagramWindow;       // "Tessagram"
extern XsWindow* g_recordSetupWindow;     // "Record Setup"
extern XsWindow* g_operationTimerWindow;  // "Operation Timer"
extern XsWindow* g_fileTransferWindow;    // "File Transfer"
extern XsWindow* g_gpsStatusWindow;       // "GPS Status"
extern XsWindow* g_networkWindow;         // "Network Parameters"

// Creates the ten windows with their titles, kinds, client sizes and positions
// (shifted by the instance offset), builds the controls and menus of each,
// makes them views of the station model, sets the main window's client size to
// 800 x 336 again and shows it. Main thread, after the toolkit is initialised.
void CreateWindowSet();

}  // namespace hv
