#include "display/display_surfaces.h"

namespace hv {

XsWindow* g_mainWindow = nullptr;
XsWindow* g_spectralTraceWindow = nullptr;

}  // namespace hv
