// The spectrogram area of the main window: the plot with its time axis above,
// the frequency axis (with the tuning band) to its right and the readout lines
// below. The main window's handler calls these entry points on the main thread;
// the display thread shares the layout and repaint functions.
#pragma once

#include <cstdint>

struct XsWindow;

namespace hv {

// ---- Entry points for the main window's handler (main thread) ----

// Events 4, 5 and 8 (maximised, restored or resized, end of a resize drag):
// the plot becomes (w - 288) x (h - 80), never negative; axes and readout
// follow; everything is repainted under the display lock.
void SpectrogramOnResize(int clientWidth, int clientHeight);
// Event 2: full repaint under the display lock. False (with the diagnostic
// line "Failed mutex request") when the lock cannot be taken.
bool SpectrogramOnPaint();
// Events 13, 16, 17, 18, 19 of the main window. A right-button release clears
// the reference point only while no recording runs.
void SpectrogramOnMouse(int event, int x, int y, int keys);
// Brightness or Contrast slider moved: new colour scale from the settings,
// image rebuilt and presented under the display lock.
void SpectrogramOnColourScaleChanged();

// ---- Shared with the display thread (callers hold the display lock) ----

// Places the image, the two axes and the readout block for a plot of this size.
void LayOutSpectrogramArea(int plotWidth, int plotHeight);
// Background, image, time axis, frequency axis with tuning band and line, labels.
void FullRepaintLocked();
// The frequency axis with the band and the line around `centreHz`.
void DrawTuningAxisLocked(float centreHz);
// The main window's 800 x 336 background (button face).
const uint32_t* MainBackground();

}  // namespace hv
