// The main window: status texts, the recording controls, the volume, brightness
// and contrast sliders with the audio level bar, the spectrogram area, and the
// menu bar. Its handler runs on the main thread.
#pragma once

struct XsWindow;

namespace hv {

// Builds the controls and the menu of an already created main window.
void BuildMainWindow(XsWindow* window);
int MainWindowHandler(XsWindow* window, int event, int* data);

}  // namespace hv
