// Common set-up for the display tests: the headless toolkit, a display lock,
// the settings at their defaults and a main window of the start-up size.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/display_shared.h"
#include "display/mouse_state.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/window_set.h"

namespace hv {

inline int NoHandler(XsWindow*, int, int*) { return 0; }

class DisplayFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool initialised = XsToolkitInit(false);
    (void)initialised;
    if (!g_displayLock) g_displayLock = CreateMutexRecord();
    ResetSettingsToDefaults();
    ResetMouseState();
    g_spectrogramPaused = false;
    g_tuneOffset = 0.0f;
    g_tuneLowerLimit = 21025.0f;
    g_tuneUpperLimit = 113975.0f;
    if (!g_mainWindow) {
      g_mainWindow = XsWindowCreate(NoHandler, kXsMainFrame);
      XsWindowSetClientSize(g_mainWindow, 800, 336);
    }
  }
  // The Spectral Trace window at its start-up size.
  static void UseTraceWindow() {
    if (!g_spectralTraceWindow) g_spectralTraceWindow = XsWindowCreate(NoHandler, kXsFixedTool);
    XsWindowSetClientSize(g_spectralTraceWindow, 576, 276);
  }
  // A pixel of the window's surface as 0xRRGGBB.
  static uint32_t SurfacePixel(XsWindow* w, int x, int y) {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    EXPECT_TRUE(XsReadSurface(w, &pixels, &width, &height));
    return pixels.at(size_t(y) * width + x) & 0xFFFFFF;
  }
};

}  // namespace hv
