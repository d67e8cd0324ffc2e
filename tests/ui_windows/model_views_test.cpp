// The windows as views of the station model on the headless toolkit: a worker's
// write shows at once in its control, the user's edits go into the model, and
// the receiver notice and the power saver retitle the windows.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "core/station_state.h"
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

class ModelViews : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    XsToolkitInit(false);
    ResetModel();
    // Written before the windows exist: they show it once built.
    SetModelText(ModelItem::kRecordStatus, "Status : Finished...");
    SetModelNumber(ModelItem::kAudioLevel, 12);
    CreateWindowSet();
  }
  // Writes `text` to `item` from a thread of its own, as a worker does.
  static void WriteFromWorker(ModelItem item, const std::string& text) {
    std::thread([&] { SetModelText(item, text); }).join();
  }
};

TEST_F(ModelViews, AWorkersWriteShowsAtOnceInItsControl) {
  struct Shown {
    ModelItem item;
    XsWindow* window;
    int control;
    std::string text;
  };
  const Shown cases[] = {
      {ModelItem::kRecordComment, g_recordSetupWindow, kSetupComment, "owls, 2 calls"},
      {ModelItem::kRecordStatus, g_recordSetupWindow, kSetupStatusLine, "Status : RECORDING"},
      {ModelItem::kRecordFile, g_recordSetupWindow, kSetupFileLine, "site_D20240131T220000m000.wav"},
      {ModelItem::kDeviceText, g_mainWindow, kMainDeviceField, "HX306RevB"},
      {ModelItem::kGpsDevice, g_gpsStatusWindow, kGpsDeviceLine, "eTrex Legend"},
      {ModelItem::kGpsLatitude, g_gpsStatusWindow, kGpsLatitudeField, "52.520008"},
      {ModelItem::kGpsLongitude, g_gpsStatusWindow, kGpsLongitudeField, "13.404954"},
      {ModelItem::kGpsAltitude, g_gpsStatusWindow, kGpsAltitudeField, "  34.2"},
      {ModelItem::kGpsFix, g_gpsStatusWindow, kGpsFixLine, "GPS Fix: 3D"},
      {ModelItem::kGpsSatellite1, g_gpsStatusWindow, kGpsFirstSatelliteLine, "SAT:5  SIG:40\n"},
      {ModelItem::kGpsSatellite6, g_gpsStatusWindow, kGpsFirstSatelliteLine + 5, "SAT:32  SIG:0\n"},
      {ModelItem::kTransferStatus, g_fileTransferWindow, kTransferStatus, "Transfering file site.wav"},
      {ModelItem::kTimerClock, g_operationTimerWindow, kTimerClock, "22:00:01"},
      {ModelItem::kTimerStatus, g_operationTimerWindow, kTimerStatus, "ACTIVE - Program 1"},
  };
  EXPECT_EQ(XsControlText(g_recordSetupWindow, kSetupStatusLine), "Status : Finished...");
  EXPECT_EQ(XsProgressGet(g_mainWindow, kMainLevelMeter), 12);
  for (const Shown& c : cases) {
    // Before: the control shows the model's text.
    EXPECT_EQ(XsControlText(c.window, c.control), ModelText(c.item)) << c.text;
    WriteFromWorker(c.item, c.text);
    EXPECT_EQ(XsControlText(c.window, c.control), c.text);
  }
  // The texts the timer reads are not shown back into the fields the user edits.
  WriteFromWorker(ModelItem::kTimerStart1, "21:00:00");
  EXPECT_NE(XsControlText(g_operationTimerWindow, kTimerStart1), "21:00:00");

  std::thread([] { SetModelNumber(ModelItem::kAudioLevel, 87); }).join();
  EXPECT_EQ(XsProgressGet(g_mainWindow, kMainLevelMeter), 87);
  SetModelNumber(ModelItem::kGpsFixUsable, 0);
  SetModelNumber(ModelItem::kGpsSatelliteHeard1 + 2, 0);
  EXPECT_FALSE(XsControlIsEnabled(g_gpsStatusWindow, kGpsFixLine));
  EXPECT_FALSE(XsControlIsEnabled(g_gpsStatusWindow, kGpsFirstSatelliteLine + 2));
  EXPECT_TRUE(XsControlIsEnabled(g_gpsStatusWindow, kGpsFirstSatelliteLine + 3));
  SetModelNumber(ModelItem::kGpsFixUsable, 1);
  EXPECT_TRUE(XsControlIsEnabled(g_gpsStatusWindow, kGpsFixLine));
}

TEST_F(ModelViews, TheUsersEditsGoIntoTheModel) {
  struct Edit {
    XsWindow* window;
    int control;
    ModelItem item;
    std::string text;
  };
  const Edit edits[] = {
      {g_recordSetupWindow, kSetupComment, ModelItem::kRecordComment, std::string(300, 'c')},  // kept whole
      {g_gpsStatusWindow, kGpsLatitudeField, ModelItem::kGpsLatitude, "-33.5"},
      {g_gpsStatusWindow, kGpsLongitudeField, ModelItem::kGpsLongitude, "151.2"},
      {g_gpsStatusWindow, kGpsAltitudeField, ModelItem::kGpsAltitude, "12"},
      {g_operationTimerWindow, kTimerStart1, ModelItem::kTimerStart1, "1:2:3"},  // not valid, still entered
      {g_operationTimerWindow, kTimerStop2, ModelItem::kTimerStop2, "05:30:00"},
      {g_operationTimerWindow, kTimerComment2, ModelItem::kTimerComment2, "bats at the lake"},
  };
  for (const Edit& e : edits) {
    XsControlSetText(e.window, e.control, e.text.c_str());
    XsInjectEvent(e.window, kXsEditChanged, e.control);
    EXPECT_EQ(ModelText(e.item), e.text) << e.control;
  }
  // The timer's program texts were entered when the window was built.
  EXPECT_EQ(ModelNumber(ModelItem::kTimerProgramsEntered), 1);
  EXPECT_EQ(ModelText(ModelItem::kTimerComment1), "<Program 1 Comment>");
}

TEST_F(ModelViews, ReceiverNoticesRetitleTheWindowsOnTheMainThread) {
  g_deviceName.Set("Ezusb-1");
  g_powerSave = false;
  XsMessageDrain();
  std::thread([] {
    SetModelText(ModelItem::kDeviceText, "HX302");
    SetModelNumber(ModelItem::kReceiverFound, 1);
  }).join();
  EXPECT_EQ(XsControlText(g_mainWindow, kMainDeviceField), "HX302");
  XsMessageDrain();
  EXPECT_EQ(XsWindowGetTitle(g_mainWindow), "Halvane [usb-1]");
  EXPECT_EQ(XsWindowGetTitle(g_spectralTraceWindow), "Spectral Trace [usb-1]");

  SetModelNumber(ModelItem::kPowerSaveTitles, 0);  // marked whichever way power save went
  EXPECT_EQ(XsWindowGetTitle(g_recordSetupWindow), "Record Setup [Power Save]");
  EXPECT_EQ(XsWindowGetTitle(g_operationTimerWindow), "Operation Timer [Power Save]");
  // The next notice, even one that repeats the last, brings the device titles back.
  SetModelNumber(ModelItem::kReceiverFound, 0);
  XsMessageDrain();
  EXPECT_EQ(XsWindowGetTitle(g_recordSetupWindow), "Record Setup");
  EXPECT_EQ(XsWindowGetTitle(g_tessagramWindow), "Tessagram");
}

}  // namespace
}  // namespace hv
