// The windows as views of the station model: which control shows each model
// item, the main window's level meter, the receiver notice that retitles the
// windows on the main thread, and the power-save titles.
#pragma once

struct XsWindow;

namespace hv {

// Subscribes the windows to the model (once; later calls do nothing). Each
// change is shown at once in the toolkit's records, on the writing thread.
void ShowStationModel();

// Sets every control of `w` that shows a model item from the model (after the
// window's controls are built).
void ShowModelIn(XsWindow* w);

}  // namespace hv
