// The main window's spectrogram area as its handler sees it: paint, resize,
// mouse, and the redraws that follow a change of colour scale or trigger band.
// Main thread.
#pragma once

struct XsWindow;

namespace hv {

void MainViewPaint();
void MainViewResize(int clientWidth, int clientHeight);
void MainViewMouse(XsWindow* window, int event, int x, int y);
// Brightness or contrast changed: new colour scale, then present.
void MainViewColourScaleChanged();
// The whole spectrogram area drawn again (under the display lock).
void MainViewFullRepaint();

}  // namespace hv
