#include "ui/windows/model_views.h"

#include <mutex>
#include <string>

#include "model/station_model.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/file_transfer_window_controls.h"
#include "ui/windows/gps_status_window_controls.h"
#include "ui/windows/main_window_controls.h"
#include "ui/windows/operation_timer_window_controls.h"
#include "ui/windows/record_setup_window_controls.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

// A model text and the control that shows it.
struct ShownText {
  ModelItem item;
  XsWindow* const* window;
  int control;
};

const ShownText kShownTexts[] = {
    {ModelItem::kRecordComment, &g_recordSetupWindow, kSetupComment},
    {ModelItem::kRecordStatus, &g_recordSetupWindow, kSetupStatusLine},
    {ModelItem::kRecordFile, &g_recordSetupWindow, kSetupFileLine},
    {ModelItem::kDeviceText, &g_mainWindow, kMainDeviceField},
    {ModelItem::kGpsDevice, &g_gpsStatusWindow, kGpsDeviceLine},
    {ModelItem::kGpsLatitude, &g_gpsStatusWindow, kGpsLatitudeField},
    {ModelItem::kGpsLongitude, &g_gpsStatusWindow, kGpsLongitudeField},
    {ModelItem::kGpsAltitude, &g_gpsStatusWindow, kGpsAltitudeField},
    {ModelItem::kGpsFix, &g_gpsStatusWindow, kGpsFixLine},
    {ModelItem::kGpsSatellite1, &g_gpsStatusWindow, kGpsFirstSatelliteLine},
    {ModelItem::kGpsSatellite1 + 1, &g_gpsStatusWindow, kGpsFirstSatelliteLine + 1},
    {ModelItem::kGpsSatellite1 + 2, &g_gpsStatusWindow, kGpsFirstSatelliteLine + 2},
    {ModelItem::kGpsSatellite1 + 3, &g_gpsStatusWindow, kGpsFirstSatelliteLine + 3},
    {ModelItem::kGpsSatellite1 + 4, &g_gpsStatusWindow, kGpsFirstSatelliteLine + 4},
    {ModelItem::kGpsSatellite1 + 5, &g_gpsStatusWindow, kGpsFirstSatelliteLine + 5},
    {ModelItem::kTransferStatus, &g_fileTransferWindow, kTransferStatus},
    {ModelItem::kTimerClock, &g_operationTimerWindow, kTimerClock},
    {ModelItem::kTimerStatus, &g_operationTimerWindow, kTimerStatus},
};

void SetEnabled(XsWindow* w, int id, bool on) { on ? XsControlEnable(w, id) : XsControlDisable(w, id); }

// Five windows carry the power-save mark in their titles.
void ShowPowerSaveTitles() {
  XsWindowSetTitle(g_mainWindow, "Halvane [Power Save]");
  XsWindowSetTitle(g_tessagramWindow, "Tessagram [Power Save]");
  XsWindowSetTitle(g_recordSetupWindow, "Record Setup [Power Save]");
  XsWindowSetTitle(g_operationTimerWindow, "Operation Timer [Power Save]");
  XsWindowSetTitle(g_spectralTraceWindow, "Spectral Trace [Power Save]");
}

// Runs on the thread that changed the model: toolkit records answer at once;
// the retitling after a receiver notice is posted to the main thread.
void Show(ModelItem item, const std::string& text, int number) {
  for (const ShownText& shown : kShownTexts) {
    if (shown.item == item) {
      XsControlSetText(*shown.window, shown.control, text.c_str());
      return;
    }
  }
  switch (item) {
    case ModelItem::kAudioLevel:
      XsProgressSet(g_mainWindow, kMainLevelMeter, number);
      break;
    case ModelItem::kReceiverFound:
      XsPostToMain(number);
      break;
    case ModelItem::kPowerSaveTitles:
      ShowPowerSaveTitles();
      break;
    case ModelItem::kGpsFixUsable:
      SetEnabled(g_gpsStatusWindow, kGpsFixLine, number != 0);
      break;
    default:
      if (item >= ModelItem::kGpsSatelliteHeard1 && item <= ModelItem::kGpsSatelliteHeard6) {
        int line = static_cast<int>(item) - static_cast<int>(ModelItem::kGpsSatelliteHeard1);
        SetEnabled(g_gpsStatusWindow, kGpsFirstSatelliteLine + line, number != 0);
      }
      break;
  }
}

}  // namespace

void ShowStationModel() {
  static std::once_flag once;
  std::call_once(once, [] { SubscribeToModel(Show); });
}

void ShowModelIn(XsWindow* w) {
  if (!w) return;
  for (const ShownText& shown : kShownTexts)
    if (*shown.window == w) XsControlSetText(w, shown.control, ModelText(shown.item).c_str());
  if (w == g_mainWindow) XsProgressSet(w, kMainLevelMeter, ModelNumber(ModelItem::kAudioLevel));
}

}  // namespace hv
