// The application windows on the headless toolkit: the main window's sliders,
// menus and Record button rule, and the Record Setup window's number rule,
// radio groups and validity flags.
#include <gtest/gtest.h>

#include <initializer_list>
#include <tuple>
#include <utility>

#include "core/station_state.h"
#include "recording/record_paths.h"
#include "recording/recorder_texts.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/main_window.h"
#include "ui/windows/number_rule.h"
#include "ui/windows/record_setup_window.h"
#include "ui/windows/tessagram_window.h"
#include "ui/windows/ui_actions.h"
#include "ui/windows/window_set.h"

namespace hv {
namespace {

class WindowsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    XsToolkitInit(false);
    g_instanceOffset.store(32);  // as the second copy running side by side
    CreateWindowSet();
  }
  void SetUp() override {
    ResetSettingsToDefaults();
    ResetRecordSetupState();
    g_recordOn.store(false);
    SetOutputPathValue("");
  }
  XsWindow* main_ = g_mainWindow;
  XsWindow* setup_ = g_recordSetupWindow;
};

TEST_F(WindowsTest, SlidersStoreTheirSettingsAndShowTheirTexts) {
  XsInjectEvent(main_, kXsSliderMoved, 358, 30);
  EXPECT_EQ(g_settings.SonoBrightness.load(), 70.0f);
  EXPECT_EQ(XsControlText(main_, 357), "Brightness = 30");
  XsInjectEvent(main_, kXsSliderMoved, 309, 2);
  EXPECT_FALSE(g_settings.AudioOn.load());
  EXPECT_EQ(XsControlText(main_, 308), "Volume = OFF");
  XsInjectEvent(main_, kXsSliderMoved, 309, 64);
  EXPECT_TRUE(g_settings.AudioOn.load());
  EXPECT_EQ(g_settings.AudioVolume.load(), 32.0f);
  EXPECT_EQ(XsControlText(main_, 308), "Volume = 15.1");
  XsInjectEvent(main_, kXsSliderMoved, 309, 0);  // keyboard steps carry 0: ignored
  EXPECT_EQ(g_settings.AudioVolume.load(), 32.0f);
}

TEST_F(WindowsTest, RecordButtonNeedsAPathAndAudioInAudioMode) {
  SetRecordMode(kModeAudio);
  XsInjectEvent(main_, kXsSliderReleased, 309, 2);
  XsSliderSetPosition(main_, 309, 2);
  XsInjectEvent(main_, kXsSliderReleased, 309, 2);
  EXPECT_FALSE(g_settings.AudioOn.load());
  SetOutputFile("/tmp/x/site.wav", "/tmp/x/");
  EXPECT_FALSE(XsControlIsEnabled(main_, 302)) << "Audio mode with the audio off";
  EXPECT_EQ(XsControlText(main_, 301), "site.wav");
  SetRecordMode(kModeContinuous);
  EXPECT_TRUE(XsControlIsEnabled(main_, 302));
  EXPECT_TRUE(XsMenuIsEnabled(main_, 230));
  StartRecordingUi();
  EXPECT_TRUE(g_recordOn.load());
  EXPECT_FALSE(XsControlIsEnabled(main_, 302));
  EXPECT_TRUE(XsControlIsEnabled(main_, 303));
  EXPECT_FALSE(XsMenuIsEnabled(main_, 212));
  StopRecordingUi();
  EXPECT_FALSE(g_recordOn.load());
  EXPECT_TRUE(XsControlIsEnabled(main_, 302));
}

TEST_F(WindowsTest, DeviceItemsCheckExactlyOne) {
  XsInjectEvent(main_, kXsMenu, 212);
  EXPECT_EQ(g_deviceName.Get(), "Ezusb-2");
  for (int id = 210; id <= 214; ++id) EXPECT_EQ(XsMenuIsChecked(main_, id), id == 212) << id;
  XsInjectEvent(main_, kXsMenu, 210);
  for (int id = 210; id <= 214; ++id) EXPECT_EQ(XsMenuIsChecked(main_, id), id == 210) << id;
}

// A main window built from saved settings checks the items of the saved time
// standard, device, response and record mode, and shows the mode and response.
TEST_F(WindowsTest, MainWindowBuiltFromSettingsChecksTheirMenuItems) {
  struct Case {
    int mode, standard;
    bool compensated;
    const char* device;
    std::initializer_list<int> checked;  // among the Setup items 210..223
    const char* modeText;
  };
  const Case cases[] = {
      {kModeContinuous, 0, false, "Ezusb-0", {210, 216, 220, 222}, "Continuous"},
      {kModeAutoSnap, 1, true, "Ezusb-3", {213, 217, 221, 223}, "Auto Snap"},
      {kModeBufferedSnap, 0, true, "IP127.0.21.1", {214, 218, 219, 221, 222}, "Buffered Snap"},
      {kModeAudio, 1, false, "Ezusb-1", {211, 220, 223}, "Audio"},
  };
  for (const Case& c : cases) {
    g_settings.MenuRecordMode.store(c.mode);
    g_settings.TimeStandard.store(c.standard);
    g_settings.MenuPrefilter.store(c.compensated);
    g_deviceName.Set(c.device);
    XsWindow* w = XsWindowCreate(MainWindowHandler, kXsMainFrame);
    BuildMainWindow(w);
    for (int id = 210; id <= 223; ++id) {
      const bool audioItem = id == 219;  // always checked (and greyed)
      bool expected = audioItem;
      for (int checked : c.checked) expected = expected || checked == id;
      EXPECT_EQ(XsMenuIsChecked(w, id), expected) << c.device << " item " << id;
    }
    EXPECT_EQ(XsControlText(w, 315), c.modeText);
    EXPECT_EQ(XsControlText(w, 318), c.compensated ? "Compensated (Flat)" : "Natural");
    EXPECT_FALSE(XsControlIsEnabled(w, 302));
    EXPECT_FALSE(XsMenuIsEnabled(w, 230));
  }
  g_deviceName.Set("");
}

// Each record mode enables exactly its Record Setup groups: trigger, filter,
// pop filter and idle timeout in Auto Snap; durations in both snap modes; time
// expansion in every mode but Audio. Comment and format are always open, the
// status and file lines always greyed.
TEST_F(WindowsTest, EachModeEnablesExactlyItsRecordSetupControls) {
  const std::initializer_list<int> autoSnapOnly = {370, 371, 372, 373, 392, 393, 394, 395, 396, 397, 398, 399, 453, 454};
  const std::initializer_list<int> snapModes = {374, 375, 376, 377, 378, 379, 380, 381};
  const std::initializer_list<int> notAudio = {382, 383, 384, 385, 386};
  const std::initializer_list<int> always = {387, 388, 450, 451, 452};
  for (int mode : {kModeAudio, kModeContinuous, kModeAutoSnap, kModeBufferedSnap}) {
    SetRecordMode(mode);
    auto expect = [&](std::initializer_list<int> ids, bool enabled) {
      for (int id : ids) EXPECT_EQ(XsControlIsEnabled(setup_, id), enabled) << "mode " << mode << " control " << id;
    };
    expect(autoSnapOnly, mode == kModeAutoSnap);
    expect(snapModes, mode == kModeAutoSnap || mode == kModeBufferedSnap);
    expect(notAudio, mode != kModeAudio);
    expect(always, true);
    expect({389, 390}, false);
  }
}

// (Which Record Setup controls each mode enables is proven above.)
TEST_F(WindowsTest, ModeSetsMenuTextAndShowsRecordSetup) {
  SetRecordMode(kModeBufferedSnap);
  EXPECT_EQ(XsControlText(main_, 315), "Buffered Snap");
  EXPECT_TRUE(XsMenuIsChecked(main_, 218));
  EXPECT_FALSE(XsMenuIsChecked(main_, 216));
  EXPECT_TRUE(XsWindowIsShown(setup_));
  SetRecordMode(kModeAudio);
  EXPECT_FALSE(XsWindowIsShown(setup_));
}

// The number rule of the Record Setup and Tessagram marker fields: digits with
// an optional point and minus sign; a zero needs its point.
TEST(NumberRule, DigitsAlonePointAndSignInRecordSetupAndMarkerFields) {
  float f = -1;
  double d = -1;
  for (const char* bad : {"", "0", "00", "-", "1e3", "12a", " 5", "5 ", "1.2.3", "+5", "--1"}) {
    EXPECT_FALSE(ParseNumberRule(bad, &f)) << bad;
    EXPECT_FALSE(ParseMarkerNumber(bad, &d)) << bad;
  }
  for (auto [text, value] : {std::pair{"0.5", 0.5}, {"75", 75.0}, {"-12.25", -12.25}, {"150", 150.0}, {"0.0", 0.0},
                             {"7.", 7.0}}) {
    f = -1, d = -1;
    EXPECT_TRUE(ParseNumberRule(text, &f) && ParseMarkerNumber(text, &d)) << text;
    EXPECT_EQ(f, value) << text;
    EXPECT_EQ(d, value) << text;
  }
}

TEST_F(WindowsTest, UserDurationZeroWithAndWithoutItsPoint) {
  SetRecordMode(kModeAutoSnap);
  XsControlSetText(setup_, 381, "0");
  XsInjectEvent(setup_, kXsEditChanged, 381);
  EXPECT_FALSE(XsControlIsEnabled(setup_, 380));
  EXPECT_EQ(g_settings.SnapDurationMS.load(), 1000);
  XsInjectEvent(setup_, kXsButton, 380);
  EXPECT_EQ(g_settings.SnapDurationMS.load(), 5000) << "an invalid user duration gives 5000";
  XsControlSetText(setup_, 381, "0.0");
  XsInjectEvent(setup_, kXsEditChanged, 381);
  EXPECT_TRUE(XsControlIsEnabled(setup_, 380));
  EXPECT_EQ(g_settings.UserDurationMS.load(), 0);
  EXPECT_EQ(g_settings.SnapDurationMS.load(), 5000) << "0 does not become the duration";
  XsInjectEvent(setup_, kXsButton, 378);
  EXPECT_EQ(g_settings.SnapDurationMS.load(), 1000);
  EXPECT_FALSE(XsCheckGet(setup_, 380));
}

TEST_F(WindowsTest, FilterRangeIsLimitedToHalfTheRateAndRefusesHighBelowLow) {
  SetRecordMode(kModeAutoSnap);
  g_deviceSampleRate.store(250000.0f);
  XsControlSetText(setup_, 394, "20");
  XsControlSetText(setup_, 396, "200");
  XsInjectEvent(setup_, kXsEditChanged, 396);
  EXPECT_EQ(g_settings.SnapFilterHighFreq.load(), 125000.0f);
  EXPECT_EQ(g_settings.SnapFilterLowFreq.load(), 20000.0f);
  XsControlSetText(setup_, 394, "50");
  XsControlSetText(setup_, 396, "40");
  XsInjectEvent(setup_, kXsEditChanged, 396);
  EXPECT_FALSE(XsControlIsEnabled(setup_, 395));
  EXPECT_TRUE(XsControlIsEnabled(setup_, 393));
  EXPECT_EQ(g_settings.SnapFilterHighFreq.load(), 125000.0f) << "the old range is kept";

  // During playback the limit is half the replayed stream's rate.
  g_playbackStreamRate.store(500000.0f);
  g_playbackActive.store(true);
  XsControlSetText(setup_, 394, "20");
  XsControlSetText(setup_, 396, "240");
  XsInjectEvent(setup_, kXsEditChanged, 396);
  g_playbackActive.store(false);
  EXPECT_EQ(g_settings.SnapFilterHighFreq.load(), 240000.0f);
  g_playbackStreamRate.store(250000.0f);
}

// A stored mode outside 2..4 shows as Audio, and Audio's rule holds for it.
TEST_F(WindowsTest, ModeShownAsAudioIsAudioForTheRecordButton) {
  for (int mode : {0, 1, 5, -1}) {
    g_settings.MenuRecordMode.store(mode);
    g_settings.AudioOn.store(false);
    SetOutputFile("/tmp/x/site.wav", "/tmp/x/");
    EXPECT_EQ(ShownRecordMode(mode), kModeAudio) << mode;
    EXPECT_FALSE(XsControlIsEnabled(main_, 302)) << mode;
    g_settings.AudioOn.store(true);
    RefreshRecordButtonRule();
    EXPECT_TRUE(XsControlIsEnabled(main_, 302)) << mode;
  }
  for (int mode : {kModeContinuous, kModeAutoSnap, kModeBufferedSnap}) EXPECT_EQ(ShownRecordMode(mode), mode);
}

TEST_F(WindowsTest, IdleBoxStaysOffWhileItsFieldIsInvalid) {
  SetRecordMode(kModeAutoSnap);
  XsControlSetText(setup_, 454, "x");
  XsInjectEvent(setup_, kXsEditChanged, 454);
  XsInjectEvent(setup_, kXsButton, 453);
  EXPECT_FALSE(g_settings.SnapIdleTimeoutEnable.load());
  EXPECT_FALSE(XsCheckGet(setup_, 453));
  XsControlSetText(setup_, 454, "2.5");
  XsInjectEvent(setup_, kXsEditChanged, 454);
  XsInjectEvent(setup_, kXsButton, 453);
  EXPECT_TRUE(g_settings.SnapIdleTimeoutEnable.load());
  EXPECT_EQ(g_settings.SnapIdleTimeoutMS.load(), 2500);
}

TEST_F(WindowsTest, RadioGroupsKeepOneChecked) {
  XsInjectEvent(setup_, kXsButton, 385);
  EXPECT_EQ(g_settings.SnapTimeExpand.load(), 4);
  for (int id = 383; id <= 386; ++id) EXPECT_EQ(XsCheckGet(setup_, id), id == 385);
  XsInjectEvent(setup_, kXsButton, 452);
  EXPECT_EQ(g_settings.OutputFileFormat.load(), 1);
  EXPECT_FALSE(XsCheckGet(setup_, 451));
}

TEST_F(WindowsTest, WindowSetPlacesAllTenWindows) {
  auto windows = XsAllWindows();
  ASSERT_GE(windows.size(), 10u);
  EXPECT_EQ(XsWindowGetTitle(g_networkWindow), "Network Parameters");
  int w = 0, h = 0;
  XsWindowGetClientSize(main_, &w, &h);
  EXPECT_EQ(std::pair(w, h), std::pair(800, 336));
  EXPECT_TRUE(XsWindowIsShown(main_));
  EXPECT_FALSE(XsWindowIsShown(g_aboutWindow));
  // Start positions moved by the instance offset of 32.
  for (auto [window, x, y] : {std::tuple{main_, 336, 128}, {g_recordSetupWindow, 64, 128}}) {
    XsWindowGetPosition(window, &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(x + 32, y + 32));
  }
}

}  // namespace
}  // namespace hv
