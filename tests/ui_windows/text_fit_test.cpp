// The windows on a real (virtual) screen with the screen's own font: every
// text a static text, button, check box or one-line edit shows at start, and
// the longest value each changing field can show, fits its control without
// being cut or wrapped out of sight; and every window paints one face colour.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "display/display_colours.h"
#include "settings/settings.h"
#include "ui/screen_test_support.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/gps_status_window_controls.h"
#include "ui/windows/operation_timer_window_controls.h"
#include "ui/windows/window_set.h"

namespace hv {
namespace {

class TextFitTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(XsToolkitInit(true));
    ASSERT_EQ(XsGetBackend(), kXsBackendScreen);
    ResetSettingsToDefaults();
    CreateWindowSet();
    XsMessageLoopFor(0.3);
  }

  // Checks one text in one control (false: a kind whose text scrolls, not measured);
  // a failure names the window, the control and both sizes.
  static bool ExpectFits(XsWindow* w, int id, const std::string& text) {
    XsTextFit fit;
    if (!XsControlTextFit(w, id, text.c_str(), &fit)) return false;
    EXPECT_TRUE(fit.Fits()) << XsWindowGetTitle(w) << " control " << id << " \"" << text << "\": text "
                            << fit.textWidth << " x " << fit.textHeight << " in " << fit.roomWidth << " x "
                            << fit.roomHeight;
    return true;
  }
};

TEST_F(TextFitTest, EveryTextAtStartFitsItsControl) {
  int size = 0;
  std::cout << "control font: " << XsControlFontName(&size) << " " << size << " px\n";
  int measured = 0;
  for (XsWindow* w : XsAllWindows())
    for (int id : XsControlIds(w)) measured += ExpectFits(w, id, XsControlText(w, id));
  EXPECT_GT(measured, 100) << "the windows' texts were not measured";
}

// The values the program writes into its fields while it runs, at their longest.
TEST_F(TextFitTest, LongestValueOfEachFieldFitsItsControl) {
  struct Field {
    XsWindow* window;
    int id;
    std::vector<std::string> values;
  };
  const std::string fileName = "station_D20261207T145500m123.wav";
  const Field fields[] = {
      // Main window: receiver, response, mode, sliders while moved.
      {g_mainWindow, 313, {"<No device found>", "HX306RevB", "HQ303RevA"}},
      {g_mainWindow, 318, {"Compensated (Flat)"}},
      {g_mainWindow, 315, {"Buffered Snap"}},
      {g_mainWindow, 308, {"Volume [OFF]", "Volume = OFF", "Volume = 24.1"}},
      {g_mainWindow, 357, {"Brightness = 100"}},
      {g_mainWindow, 359, {"Contrast = 100"}},
      // Record Setup: numbers at their limits, recorder status and file lines.
      // A threshold above the noise floor: a 16-bit receiver spans under 100 dB.
      {g_recordSetupWindow, 373, {"99.9"}},
      {g_recordSetupWindow, 394, {"250.0"}},
      {g_recordSetupWindow, 396, {"250.0"}},
      {g_recordSetupWindow, 381, {"600.0"}},
      {g_recordSetupWindow, 454, {"3600.0"}},
      {g_recordSetupWindow, 389,
       {"Status : Inactive", "Status : RECORDING", "Status : Finished...", "Status : Stopped...", "Status : Failed"}},
      {g_recordSetupWindow, 390, {fileName}},
      // Playback: the position of a 4 GiB recording at 250 kHz (143 minutes), the largest ratio.
      {g_playbackWindow, 332, {"00:05:12", "59:59:99", "143:09:91"}},
      {g_playbackWindow, 344, {"1:1000"}},
      // Operation Timer: clock, time standard, status, times of day.
      {g_operationTimerWindow, kTimerClock, {"23:59:59"}},
      {g_operationTimerWindow, kTimerStandard, {"Local"}},
      {g_operationTimerWindow, kTimerStatus, {"ACTIVE - Program 1", "Power Saver Mode"}},
      {g_operationTimerWindow, kTimerStart1, {"23:59:59"}},
      {g_operationTimerWindow, kTimerStop2, {"23:59:59"}},
      {g_operationTimerWindow, kTimerFileName1, {"<No File Selected>"}},
      // File Transfer: the upload status with a recording's name.
      {g_fileTransferWindow, 476, {"InActive", "Transfering file " + fileName, "Error transfering file " + fileName}},
      // GPS Status: position fields and fix and satellite lines.
      {g_gpsStatusWindow, kGpsLatitudeField, {"-89.999999"}},
      {g_gpsStatusWindow, kGpsLongitudeField, {"-179.999999"}},
      {g_gpsStatusWindow, kGpsAltitudeField, {"-1000.0", "9999.9"}},
      {g_gpsStatusWindow, kGpsFixLine, {"GPS Fix: 3D-Diff"}},
      {g_gpsStatusWindow, kGpsFirstSatelliteLine, {"SAT:32  SIG:99"}},
      // Tessagram: slider texts while moved, marker frequencies, the pause button.
      {g_tessagramWindow, 351, {"Threshold = 100"}},
      {g_tessagramWindow, 353, {"Detail = High-", "Detail = Med+"}},
      {g_tessagramWindow, 355, {"Divisions = 8"}},
      {g_tessagramWindow, 401, {"250.0"}},
      {g_tessagramWindow, 350, {"Continue"}},
      // Network Parameters: the longest dotted address.
      {g_networkWindow, 502, {"255.255.255.255"}},
  };
  for (const Field& f : fields) {
    ASSERT_NE(f.window, nullptr);
    XsTextFit fit;
    ASSERT_TRUE(XsControlTextFit(f.window, f.id, "", &fit)) << XsWindowGetTitle(f.window) << " has no field " << f.id;
    for (const std::string& value : f.values) ExpectFits(f.window, f.id, value);
  }
}

// Each window shown alone at the top left: its background, outside every
// control, and the face of its static texts are the one face colour.
TEST_F(TextFitTest, EveryWindowPaintsOneFaceColour) {
  std::vector<XsWindow*> windows;
  for (XsWindow* w : XsAllWindows()) {
    if (w == g_spectralTraceWindow || w == g_aboutWindow) continue;  // pictures fill them
    windows.push_back(w);
  }
  for (XsWindow* w : XsAllWindows()) XsWindowHide(w);
  for (XsWindow* w : windows) {
    const std::string title = XsWindowGetTitle(w);
    XsWindowMove(w, 0, 0);
    XsWindowShow(w);
    XsWindowInvalidate(w);
    const std::string name = "face-" + std::to_string(XsControlIds(w).front());
    // Where the window landed (there is no window manager to frame it).
    const std::string where = screentest::ArtifactDir() + "/" + name + ".where";
    screentest::RunWhilePumping("xdotool search --sync --name '^" + title + "$' getwindowgeometry --shell >'" + where + "'", 0.3);
    int left = -1, top = -1;
    std::ifstream in(where);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("X=", 0) == 0) left = std::stoi(line.substr(2));
      if (line.rfind("Y=", 0) == 0) top = std::stoi(line.substr(2));
    }
    ASSERT_GE(left, 0) << title << " not found on the screen";
    if (w == g_mainWindow) top += 25;  // below the menu bar
    // A loaded machine may take a while to map and paint the window.
    screentest::Screenshot shot;
    for (int tries = 0; tries < 20; ++tries) {
      shot = screentest::TakeScreenshot(name, 0.2);
      if (shot.width > 0 && shot.At(left + 2, top + 4) != 0) break;
    }
    XsWindowHide(w);
    ASSERT_GT(shot.width, 0);
    int cw = 0, ch = 0;
    XsWindowGetClientSize(w, &cw, &ch);
    // The client area's left column down to the first control is background.
    EXPECT_EQ(shot.At(left + 2, top + 4), kButtonFacePixel) << title << " background";
    EXPECT_EQ(shot.At(left + cw - 3, top + ch - 3), kButtonFacePixel) << title << " background, bottom right";
    // The bottom right pixel of each static text is its face (text never reaches it).
    int statics = 0;
    for (int id : XsControlIds(w)) {
      int kind, x, y, width, height;
      if (!XsControlIsShown(w, id) || !XsControlGetRect(w, id, &kind, &x, &y, &width, &height) || kind != kXsStatic)
        continue;
      ++statics;
      EXPECT_EQ(shot.At(left + x + width - 1, top + y + height - 1), kButtonFacePixel) << title << " text " << id;
    }
    EXPECT_GT(statics, 0) << title;
  }
}

}  // namespace
}  // namespace hv
