#include "ui/windows/main_view.h"

namespace hv {

void MainViewPaint() {}
void MainViewResize(int, int) {}
void MainViewMouse(XsWindow*, int, int, int) {}
void MainViewColourScaleChanged() {}
void MainViewFullRepaint() {}

}  // namespace hv
