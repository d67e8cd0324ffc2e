#include "ui/windows/main_window.h"

#include <cmath>
#include <cstdio>

#include "core/file_ops.h"
#include "core/lifecycle.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "display/sonogram_view.h"
#include "recording/record_control.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/about_window.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/network_window.h"
#include "ui/windows/playback_window.h"
#include "ui/windows/ui_actions.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

const ControlLayout kControls[] = {
    {312, kXsStatic, 32, 16, 64, 24, "Device :"},
    {313, kXsStatic, 100, 16, 128, 24, ""},
    {317, kXsStatic, 32, 40, 64, 24, "Response :"},
    {318, kXsStatic, 100, 40, 128, 24, "Natural"},
    {314, kXsStatic, 16, 64, 96, 32, "Record Mode :"},
    {315, kXsStatic, 116, 64, 128, 32, "Continuous"},
    {300, kXsButtonControl, 16, 96, 64, 20, "File..."},
    {301, kXsEdit, 84, 96, 160, 20, "<No File Selected>"},
    {302, kXsButtonControl, 48, 128, 64, 32, "Record"},
    {303, kXsButtonControl, 144, 128, 64, 32, "Stop"},
    {308, kXsStatic, 16, 184, 80, 32, "Volume"},
    {309, kXsSlider, 96, 184, 128, 32, ""},
    {310, kXsStatic, 16, 224, 80, 32, "Audio Level"},
    {311, kXsProgress, 96, 224, 128, 16, ""},
    {357, kXsStatic, 16, 264, 80, 32, "Brightness"},
    {358, kXsSlider, 96, 264, 128, 32, ""},
    {359, kXsStatic, 16, 296, 80, 32, "Contrast"},
    {360, kXsSlider, 96, 296, 128, 32, ""},
};

struct MenuEntry {
  int id;
  const char* path;
};

const MenuEntry kMenu[] = {
    {200, "File/Playback..."},
    {201, "File/Record..."},
    {202, "File/Save Settings"},
    {203, "File/E_xit"},
    {222, "Setup/Time Standard/UTC"},
    {223, "Setup/Time Standard/Local"},
    {210, "Setup/Device/USB_0"},
    {211, "Setup/Device/USB_1"},
    {212, "Setup/Device/USB_2"},
    {213, "Setup/Device/USB_3"},
    {214, "Setup/Device/Network"},
    {220, "Setup/Response/Natural"},
    {221, "Setup/Response/Digitally Compensated (Flat)"},
    {216, "Setup/Record/Continuous..."},
    {217, "Setup/Record/Auto Snap..."},
    {218, "Setup/Record/Buffered Snap..."},
    {219, "Setup/Audio/44.1K"},
    {230, "Action/Record"},
    {231, "Action/Stop"},
    {240, "Window/Playback..."},
    {241, "Window/Tessagram..."},
    {242, "Window/Record Setup..."},
    {243, "Window/Operation Timer..."},
    {244, "Window/File Transfer..."},
    {245, "Window/Spectral Trace..."},
    {246, "Window/GPS Status..."},
    {250, "Help/About..."},
};

void ShowVolume(int position, bool moving) {
  if (moving)
    XsControlSetText(g_mainWindow, 308, position < 3 ? "Volume = OFF" : [&] {
      static thread_local char text[32];
      std::snprintf(text, sizeof text, "Volume = %3.1f",
                    10.0 * std::log10(g_settings.AudioVolume.load(std::memory_order_relaxed)));
      return static_cast<const char*>(text);
    }());
  else
    XsControlSetText(g_mainWindow, 308, position < 3 ? "Volume [OFF]" : "Volume");
}

void OnSlider(int id, int position, bool released) {
  char text[40];
  switch (id) {
    case 358:
      if (released) XsControlSetText(g_mainWindow, 357, "Brightness");
      if (position < 1) return;
      if (!released) {
        std::snprintf(text, sizeof text, "Brightness = %2d", position);
        XsControlSetText(g_mainWindow, 357, text);
      }
      g_settings.SonoBrightness.store(100.0f - position, std::memory_order_relaxed);
      SpectrogramOnColourScaleChanged();
      break;
    case 360:
      if (released) XsControlSetText(g_mainWindow, 359, "Contrast");
      if (position < 1) return;
      if (!released) {
        std::snprintf(text, sizeof text, "Contrast = %2d", position);
        XsControlSetText(g_mainWindow, 359, text);
      }
      g_settings.SonoContrast.store(100.0f - position, std::memory_order_relaxed);
      SpectrogramOnColourScaleChanged();
      break;
    case 309:
      if (position < 1) return;
      g_settings.AudioVolume.store(position / 2.0f, std::memory_order_relaxed);
      g_settings.AudioOn.store(position > 2, std::memory_order_relaxed);
      ShowVolume(position, !released);
      RefreshRecordButtonRule();
      break;
  }
}

void OnMenu(int id) {
  switch (id) {
    case 200:
      ChoosePlaybackFile();
      break;
    case 201:
      RecordPrompt();
      break;
    case 202:
      SaveSettingsNow();
      break;
    case 203:
      XsQuit();
      break;
    case 210: case 211: case 212: case 213:
      SelectDevice("Ezusb-" + std::to_string(id - 210));
      break;
    case 214: {
      std::string address = RunNetworkParameters();
      g_settings.NetworkIPAddress.Set(address);
      g_networkDeviceName.Set("IP" + address);
      SelectDevice("IP" + address);
      break;
    }
    case 215: case 216: case 217: case 218:
      SetRecordMode(id - 214);
      break;
    case 220: SetResponse(false); break;
    case 221: SetResponse(true); break;
    case 222: SetTimeStandard(0); break;
    case 223: SetTimeStandard(1); break;
    case 230: StartRecordingUi(); break;
    case 231: StopRecordingUi(); break;
    case 240: case 241: case 242: case 243: case 244: case 245: case 246:
      ShowToolWindow(id);
      break;
    case 250:
      RunAboutWindow();
      break;
  }
}

}  // namespace

void BuildMainWindow(XsWindow* w) {
  AddControls(w, kControls);
  XsControlDisable(w, 302);
  XsControlDisable(w, 303);
  XsSliderSetRange(w, 309, 518);
  XsSliderSetPosition(w, 309, static_cast<int>(2 * g_settings.AudioVolume.load(std::memory_order_relaxed)));
  XsSliderSetRange(w, 358, 100);
  XsSliderSetPosition(w, 358, static_cast<int>(100 - g_settings.SonoBrightness.load(std::memory_order_relaxed)));
  XsSliderSetRange(w, 360, 100);
  XsSliderSetPosition(w, 360, static_cast<int>(100 - g_settings.SonoContrast.load(std::memory_order_relaxed)));
  if (!g_settings.AudioOn.load(std::memory_order_relaxed)) XsControlSetText(w, 308, "Volume [OFF]");
  bool compensated = g_settings.MenuPrefilter.load(std::memory_order_relaxed);
  XsControlSetText(w, 318, compensated ? "Compensated (Flat)" : "Natural");

  for (const MenuEntry& m : kMenu) XsMenuAdd(w, m.id, m.path);
  int standard = g_settings.TimeStandard.load(std::memory_order_relaxed);
  XsMenuCheck(w, standard == 1 ? 223 : 222);
  std::string device = g_deviceName.Get();
  if (device.rfind("IP", 0) == 0)
    XsMenuCheck(w, 214);
  else if (device.size() == 7)
    XsMenuCheck(w, 210 + (device[6] - '0'));
  XsMenuCheck(w, compensated ? 221 : 220);
  const int mode = ShownRecordMode(g_settings.MenuRecordMode.load(std::memory_order_relaxed));
  if (mode != kModeAudio) XsMenuCheck(w, 214 + mode);
  const char* modeText = mode == kModeContinuous ? "Continuous"
                         : mode == kModeAutoSnap ? "Auto Snap"
                         : mode == kModeBufferedSnap ? "Buffered Snap"
                                                     : "Audio";
  XsControlSetText(w, 315, modeText);
  XsMenuDisable(w, 219);
  XsMenuCheck(w, 219);
  XsMenuDisable(w, 230);
  XsMenuDisable(w, 231);
  // A recorder that finishes by itself (Buffered Snap) and the orderly exit
  // stop through the same interface action as the Stop button.
  SetRecordStopAction(StopRecordingUi);
}

int MainWindowHandler(XsWindow* w, int event, int* d) {
  switch (event) {
    case kXsUser:
      if (d[0] != 100) break;
      if (d[1] == 1) {
        XsControlSetText(w, 313, g_productText.Get().c_str());
        SetDeviceTitles(true);
      } else {
        XsControlSetText(w, 313, "<No device found>");
        SetDeviceTitles(false);
      }
      break;
    case kXsPaint:
      SpectrogramOnPaint();
      break;
    case kXsMaximised:
    case kXsResized:
    case kXsSized:
      SpectrogramOnResize(d[0], d[1]);
      break;
    case kXsClose:
      XsQuit();
      break;
    case kXsMouseMove:
    case kXsLeftDown:
    case kXsDrag:
    case kXsLeftUp:
    case kXsRightUp:
      SpectrogramOnMouse(event, d[0], d[1], d[2]);
      break;
    case kXsMenu:
      OnMenu(d[0]);
      break;
    case kXsButton:
      if (d[0] == 300) RecordPrompt();
      else if (d[0] == 302) StartRecordingUi();
      else if (d[0] == 303) StopRecordingUi();
      else DiagPrint("Unknown gp button %d\n", d[0]);
      break;
    case kXsEditChanged:
      if (d[0] == 301) {
        std::string path = OutputPath();
        if (!path.empty()) {
          std::string name = XsControlText(w, 301).substr(0, 127);
          SetOutputPathValue(FolderPart(path) + name);
        }
      }
      break;
    case kXsSliderMoved:
      OnSlider(d[0], d[1], false);
      break;
    case kXsSliderReleased: {
      int position = XsSliderGetPosition(w, d[0]);
      if (position < 0) {
        DiagPrint("XsSliderGetPosition failed\n");
        break;
      }
      OnSlider(d[0], position, true);
      break;
    }
  }
  return 0;
}

}  // namespace hv
