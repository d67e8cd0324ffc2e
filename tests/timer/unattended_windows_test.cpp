// The Operation Timer, File Transfer and GPS Status windows on the headless
// toolkit, and the power-save titles.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "core/station_state.h"
#include "recording/record_paths.h"
#include "settings/settings.h"
#include "timer/power_save.h"
#include "timer/station_timer.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/file_transfer_window.h"
#include "ui/windows/gps_status_window.h"
#include "ui/windows/gps_status_window_controls.h"
#include "ui/windows/operation_timer_window.h"
#include "ui/windows/operation_timer_window_controls.h"
#include "ui/windows/window_set.h"

namespace hv {
namespace {

class UnattendedWindows : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    XsToolkitInit(false);
    CreateWindowSet();
  }
  void SetUp() override {
    ResetSettingsToDefaults();
    for (SharedText* t : {&g_history.Pgm1FileName, &g_history.Pgm2FileName, &g_history.Pgm1Comment,
                          &g_history.Pgm2Comment, &g_history.ArchiveDirectory, &g_history.FTPRootDirectory})
      t->Set("");
    g_powerSave = false;
    g_recordOn = false;
  }
  // A fresh Operation Timer window built from the current settings.
  XsWindow* Timer() { return CreateOperationTimerWindow(); }
  // Each control shows its text.
  static void ExpectTexts(XsWindow* w, std::initializer_list<std::pair<int, const char*>> texts) {
    for (auto [id, text] : texts) EXPECT_EQ(XsControlText(w, id), text) << "control " << id;
  }
  // A check box clicked to `on`.
  static void Check(XsWindow* w, int id, bool on) {
    XsCheckSet(w, id, on);
    XsInjectEvent(w, kXsButton, id);
  }
  // A text field edited to `text`.
  static void Edit(XsWindow* w, int id, const std::string& text) {
    XsControlSetText(w, id, text.c_str());
    XsInjectEvent(w, kXsEditChanged, id);
  }
};

TEST_F(UnattendedWindows, TimerWindowShowsTheSettingsAndGreysAnEnabledProgram) {
  g_settings.Program1Enable = true;
  g_settings.Pgm1StartTime.Set("22:00:00");
  g_settings.Pgm1StopTime.Set("02:00:00");
  g_history.Pgm1FileName.Set("/rec/night.wav");
  g_settings.TimeStandard = 1;
  XsWindow* w = Timer();
  EXPECT_EQ(XsWindowGetTitle(w), "Operation Timer");
  ExpectTexts(w, {{kTimerStandard, "Local"}, {kTimerStatus, "IDLE"}, {kTimerStart1, "22:00:00"},
                  {kTimerFileName1, "night.wav"}, {kTimerComment1, "<Program 1 Comment>"}});
  EXPECT_TRUE(XsCheckGet(w, kTimerEnable1));
  EXPECT_TRUE(XsControlIsEnabled(w, kTimerEnable1));
  for (int id : {kTimerStart1, kTimerStop1, kTimerFile1, kTimerComment1}) EXPECT_FALSE(XsControlIsEnabled(w, id));
  // Program 2: no times stored (shown as 00:00:00), no path: cannot be switched on.
  ExpectTexts(w, {{kTimerStart2, "00:00:00"}, {kTimerFileName2, "<No file selected>"}});
  EXPECT_FALSE(XsControlIsEnabled(w, kTimerEnable2));

  Check(w, kTimerEnable1, false);
  EXPECT_FALSE(g_settings.Program1Enable.load());
  for (int id : {kTimerStart1, kTimerStop1, kTimerFile1, kTimerComment1}) EXPECT_TRUE(XsControlIsEnabled(w, id));
}

TEST_F(UnattendedWindows, TimeFieldsAndFileChoiceDecideWhetherAProgramCanBeSwitchedOn) {
  XsWindow* w = Timer();
  XsPresetDialogAnswer("/data/bats/site2.wav");
  XsInjectEvent(w, kXsButton, kTimerFile2);
  EXPECT_EQ(g_history.Pgm2FileName.Get(), "/data/bats/site2.wav");
  EXPECT_EQ(g_history.Pgm2Directory.Get(), "/data/bats/");
  EXPECT_EQ(XsControlText(w, kTimerFileName2), "site2.wav");
  EXPECT_TRUE(XsControlIsEnabled(w, kTimerEnable2));

  Edit(w, kTimerStop2, "24:00:00");
  EXPECT_FALSE(XsControlIsEnabled(w, kTimerEnable2));
  EXPECT_FALSE(XsControlIsEnabled(w, kTimerStopLabel2));
  EXPECT_EQ(g_settings.Pgm2StopTime.Get(), "");
  Edit(w, kTimerStop2, "05:30:00");
  EXPECT_TRUE(XsControlIsEnabled(w, kTimerEnable2));
  EXPECT_TRUE(XsControlIsEnabled(w, kTimerStopLabel2));
  EXPECT_EQ(g_settings.Pgm2StopTime.Get(), "05:30:00");

  XsPresetDialogAnswer("");  // cancelled
  XsInjectEvent(w, kXsButton, kTimerFile2);
  EXPECT_EQ(XsControlText(w, kTimerFileName2), "<No File Selected>");
  EXPECT_FALSE(XsControlIsEnabled(w, kTimerEnable2));

  Edit(w, kTimerComment2, std::string(600, 'c'));
  EXPECT_EQ(g_history.Pgm2Comment.Get().size(), 511u);
  Check(w, kTimerPowerSaver, false);
  EXPECT_FALSE(g_settings.PowerSaverEnable.load());
}

TEST_F(UnattendedWindows, PowerSaveTitlesOnlyWhenThePowerSaverIsEnabled) {
  g_settings.PowerSaverEnable = false;
  EXPECT_FALSE(SetPowerSave(true));
  EXPECT_FALSE(g_powerSave.load());
  EXPECT_EQ(XsWindowGetTitle(g_mainWindow).find("[Power Save]"), std::string::npos);
  g_settings.PowerSaverEnable = true;
  EXPECT_TRUE(SetPowerSave(true));
  EXPECT_TRUE(g_powerSave.load());
  EXPECT_EQ(XsWindowGetTitle(g_mainWindow), "Halvane [Power Save]");
  EXPECT_EQ(XsWindowGetTitle(g_operationTimerWindow), "Operation Timer [Power Save]");
  EXPECT_EQ(XsWindowGetTitle(g_spectralTraceWindow), "Spectral Trace [Power Save]");
  EXPECT_FALSE(SetPowerSave(false));
  EXPECT_FALSE(g_powerSave.load());
}

TEST_F(UnattendedWindows, TimerActionsDriveTheStationsRecordingControls) {
  XsWindow* w = Timer();
  StationTimerActions actions;
  actions.SetRecordingBasePath("/rec/prog1.wav");
  EXPECT_EQ(g_recordBasePath.Get(), "/rec/prog1.wav");
  EXPECT_EQ(g_history.OutputDirectory.Get(), "/rec/");
  actions.SetRecordComment("owls");
  EXPECT_EQ(XsControlText(g_recordSetupWindow, 388), "owls");
  actions.StartRecording();
  EXPECT_TRUE(g_recordOn.load());
  EXPECT_TRUE(actions.ReceiverInUse());
  actions.StopRecording();
  EXPECT_FALSE(g_recordOn.load());
  actions.ShowStatus("Power Saver Mode");
  EXPECT_EQ(XsControlText(w, kTimerStatus), "Power Saver Mode");
  // The programs' times are read as entered in the window's fields.
  Edit(w, kTimerStart1, "1:2:3");
  EXPECT_EQ(actions.Program(1).startText, "1:2:3");
  EXPECT_EQ(actions.Program(1).comment, "<Program 1 Comment>");
  EXPECT_EQ(g_history.Pgm1Comment.Get(), "");  // a placeholder is not a setting
}

TEST_F(UnattendedWindows, FileTransferWindowSwitchesAndArchiveFolder) {
  g_settings.FTPHostName.Set("127.0.0.59:2121");
  XsWindow* w = CreateFileTransferWindow();
  ExpectTexts(w, {{476, "IDLE"}, {463, "127.0.0.59:2121"}, {465, "<no directory>"}, {470, "<no password>"}});
  EXPECT_FALSE(XsControlIsEnabled(w, 471));  // no archive folder yet

  for (int id : {460, 461, 466}) Check(w, id, true);
  EXPECT_TRUE(g_settings.FileTransferEnable.load());
  EXPECT_TRUE(g_settings.FileTransferDuringIdle.load());
  EXPECT_TRUE(g_settings.FileTransferLoginEnable.load());

  Edit(w, 465, std::string(300, 'd'));
  EXPECT_EQ(g_history.FTPRootDirectory.Get().size(), 259u);

  XsPresetDialogAnswer("/data/archive");
  XsInjectEvent(w, kXsButton, 474);
  EXPECT_EQ(g_history.ArchiveDirectory.Get(), "/data/archive/");
  EXPECT_EQ(XsControlText(w, 473), "/data/archive/");
  EXPECT_TRUE(XsControlIsEnabled(w, 471));
  Check(w, 471, true);
  EXPECT_TRUE(g_settings.FileTransferArchiveEnable.load());
  EXPECT_FALSE(XsControlIsEnabled(w, 473));
  EXPECT_FALSE(XsControlIsEnabled(w, 474));
  Check(w, 471, false);
  XsPresetDialogAnswer("");  // cancelling empties the archive folder
  XsInjectEvent(w, kXsButton, 474);
  EXPECT_EQ(g_history.ArchiveDirectory.Get(), "");
  EXPECT_FALSE(XsControlIsEnabled(w, 471));
}

TEST_F(UnattendedWindows, GpsStatusWindowStartsEmptyAndHidesOnClose) {
  XsWindow* w = g_gpsStatusWindow;
  ASSERT_NE(w, nullptr);
  ExpectTexts(w, {{kGpsDeviceLine, "<No Device Found>"}, {kGpsLatitudeField, "0.000000"}, {kGpsFixLine, "GPS Fix: none"}});
  for (int i = 0; i < kGpsSatelliteLineCount; ++i) EXPECT_EQ(XsControlText(w, kGpsFirstSatelliteLine + i), "--");
  XsWindowShow(w);
  XsMenuCheck(g_mainWindow, 246);
  XsInjectEvent(w, kXsClose);
  EXPECT_FALSE(XsWindowIsShown(w));
  EXPECT_FALSE(XsMenuIsChecked(g_mainWindow, 246));
}

TEST(StationTimerClock, FollowsTheReplayedTimeAndTheTimeStandard) {
  StationTimerClock clock;
  StreamTime replay;
  replay.utcSeconds = 1706743800;  // 2024-01-31 23:30:00 UTC
  replay.biasMinutes = -120;       // recorded two hours east of UTC
  SetReplayedStreamTime(replay);
  g_settings.TimeStandard = 0;
  TimeOfDay t = clock.Now();
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(t.minute, 30);
  g_settings.TimeStandard = 1;
  EXPECT_EQ(clock.Now().hour, 1);
  ClearReplayedStreamTime();
  g_settings.TimeStandard = 0;
}

}  // namespace
}  // namespace hv
