#include "ui/windows/gps_status_window.h"

#include <cstdint>
#include <vector>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/display_colours.h"
#include "model/station_model.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/gps_status_window_controls.h"
#include "ui/windows/main_window_controls.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

constexpr int kWidth = 256, kHeight = 352;

const ControlLayout kLayout[] = {
    {kGpsDeviceLine, kXsStatic, 32, 32, 196, 24, "<No Device Found>"},
    {kGpsLatitudeLabel, kXsStatic, 32, 64, 32, 24, "Lat:"},
    {kGpsLatitudeField, kXsEdit, 64, 64, 96, 24, "0.000000"},
    {kGpsLongitudeLabel, kXsStatic, 32, 96, 32, 24, "Lon:"},
    {kGpsLongitudeField, kXsEdit, 64, 96, 96, 24, "0.000000"},
    {kGpsAltitudeLabel, kXsStatic, 32, 128, 32, 24, "Alt:"},
    {kGpsAltitudeField, kXsEdit, 64, 128, 96, 24, "0.000000"},
    {kGpsFixLine, kXsStatic, 32, 168, 196, 24, "GPS Fix: none"},
};

std::vector<uint32_t>& Background() {
  static std::vector<uint32_t> pixels(size_t(kWidth) * kHeight, kButtonFacePixel);
  return pixels;
}

}  // namespace

// Runs on the main thread.
int GpsStatusHandler(XsWindow* w, int event, int* d) {
  switch (event) {
    case kXsEditChanged:
      // A position the user types in is the one recordings carry while there is a fix.
      if (d[0] == kGpsLatitudeField) SetModelText(ModelItem::kGpsLatitude, XsControlText(w, d[0]));
      if (d[0] == kGpsLongitudeField) SetModelText(ModelItem::kGpsLongitude, XsControlText(w, d[0]));
      if (d[0] == kGpsAltitudeField) SetModelText(ModelItem::kGpsAltitude, XsControlText(w, d[0]));
      break;
    case kXsPaint: {
      LockGuard lock(g_displayLock);
      XsDrawImage(w, Background().data(), kWidth, kHeight, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight);
      break;
    }
    case kXsClose:
      XsWindowHide(w);
      XsMenuUncheck(g_mainWindow, kToolGpsStatus);
      break;
    default:
      break;
  }
  return 0;
}

// Runs on the main thread.
XsWindow* CreateGpsStatusWindow() {
  XsWindow* w = CreateToolWindow(GpsStatusHandler, kXsFixedTool, "GPS Status", kWidth, kHeight, 192, 192);
  if (!w) return nullptr;
  g_gpsStatusWindow = w;
  AddControls(w, kLayout);
  for (int i = 0; i < kGpsSatelliteLineCount; ++i) AddControl(w, {kGpsFirstSatelliteLine + i, kXsStatic, 32, 200 + 24 * i, 196, 24, "--"});
  return w;
}

}  // namespace hv
