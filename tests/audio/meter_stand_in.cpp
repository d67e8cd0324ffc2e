// Stands in for the toolkit's progress bar in the audio-only test build: the
// window set is empty there, so the sound thread never shows its meter.
#include "ui/toolkit/xs.h"
#include "ui/windows/window_set.h"

namespace hv {
XsWindow* g_mainWindow = nullptr;
}

bool XsProgressSet(XsWindow*, int, int) { return false; }
