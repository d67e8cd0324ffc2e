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
#include "ui/windows/main_window_controls.h"
#include "ui/windows/network_window.h"
#include "ui/windows/playback_window.h"
#include "ui/windows/ui_actions.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

const ControlLayout kControls[] = {
    {kMainDeviceLabel, kXsStatic, 32, 16, 64, 24, "Device :"},
    {kMainDeviceField, kXsStatic, 100, 16, 128, 24, ""},
    {kMainResponseLabel, kXsStatic, 32, 40, 64, 24, "Response :"},
    {kMainResponseField, kXsStatic, 100, 40, 128, 24, "Natural"},
    {kMainModeLabel, kXsStatic, 16, 64, 96, 32, "Record Mode :"},
    {kMainModeField, kXsStatic, 116, 64, 128, 32, "Continuous"},
    {kMainFileButton, kXsButtonControl, 16, 96, 64, 20, "File..."},
    {kMainFileField, kXsEdit, 84, 96, 160, 20, "<No File Selected>"},
    {kMainRecordButton, kXsButtonControl, 48, 128, 64, 32, "Record"},
    {kMainStopButton, kXsButtonControl, 144, 128, 64, 32, "Stop"},
    {kMainVolumeText, kXsStatic, 16, 184, 80, 32, "Volume"},
    {kMainVolumeSlider, kXsSlider, 96, 184, 128, 32, ""},
    {kMainLevelText, kXsStatic, 16, 224, 80, 32, "Audio Level"},
    {kMainLevelMeter, kXsProgress, 96, 224, 128, 16, ""},
    {kMainBrightnessText, kXsStatic, 16, 264, 80, 32, "Brightness"},
    {kMainBrightnessSlider, kXsSlider, 96, 264, 128, 32, ""},
    {kMainContrastText, kXsStatic, 16, 296, 80, 32, "Contrast"},
    {kMainContrastSlider, kXsSlider, 96, 296, 128, 32, ""},
};

struct MenuEntry {
  int id;
  const char* path;
};

const MenuEntry kMenu[] = {
    {kMenuPlayback, "File/Playback..."},
    {kMenuRecordPrompt, "File/Record..."},
    {kMenuSaveSettings, "File/Save Settings"},
    {kMenuExit, "File/E_xit"},
    {kMenuTimeUtc, "Setup/Time Standard/UTC"},
    {kMenuTimeLocal, "Setup/Time Standard/Local"},
    {kMenuDeviceUsb0, "Setup/Device/USB_0"},
    {kMenuDeviceUsb1, "Setup/Device/USB_1"},
    {kMenuDeviceUsb2, "Setup/Device/USB_2"},
    {kMenuDeviceUsb3, "Setup/Device/USB_3"},
    {kMenuDeviceNetwork, "Setup/Device/Network"},
    {kMenuResponseNatural, "Setup/Response/Natural"},
    {kMenuResponseCompensated, "Setup/Response/Digitally Compensated (Flat)"},
    {kMenuModeContinuous, "Setup/Record/Continuous..."},
    {kMenuModeAutoSnap, "Setup/Record/Auto Snap..."},
    {kMenuModeBufferedSnap, "Setup/Record/Buffered Snap..."},
    {kMenuAudio44k, "Setup/Audio/44.1K"},
    {kMenuRecord, "Action/Record"},
    {kMenuStop, "Action/Stop"},
    {kToolPlayback, "Window/Playback..."},
    {kToolTessagram, "Window/Tessagram..."},
    {kToolRecordSetup, "Window/Record Setup..."},
    {kToolOperationTimer, "Window/Operation Timer..."},
    {kToolFileTransfer, "Window/File Transfer..."},
    {kToolSpectralTrace, "Window/Spectral Trace..."},
    {kToolGpsStatus, "Window/GPS Status..."},
    {kMenuAbout, "Help/About..."},
};

void ShowVolume(int position, bool moving) {
  if (moving)
    XsControlSetText(g_mainWindow, kMainVolumeText, position < 3 ? "Volume = OFF" : [&] {
      static thread_local char text[32];
      std::snprintf(text, sizeof text, "Volume = %3.1f",
                    10.0 * std::log10(g_settings.AudioVolume.load(std::memory_order_relaxed)));
      return static_cast<const char*>(text);
    }());
  else
    XsControlSetText(g_mainWindow, kMainVolumeText, position < 3 ? "Volume [OFF]" : "Volume");
}

void OnSlider(int id, int position, bool released) {
  char text[40];
  switch (id) {
    case kMainBrightnessSlider:
      if (released) XsControlSetText(g_mainWindow, kMainBrightnessText, "Brightness");
      if (position < 1) return;
      if (!released) {
        std::snprintf(text, sizeof text, "Brightness = %2d", position);
        XsControlSetText(g_mainWindow, kMainBrightnessText, text);
      }
      g_settings.SonoBrightness.store(100.0f - position, std::memory_order_relaxed);
      SpectrogramOnColourScaleChanged();
      break;
    case kMainContrastSlider:
      if (released) XsControlSetText(g_mainWindow, kMainContrastText, "Contrast");
      if (position < 1) return;
      if (!released) {
        std::snprintf(text, sizeof text, "Contrast = %2d", position);
        XsControlSetText(g_mainWindow, kMainContrastText, text);
      }
      g_settings.SonoContrast.store(100.0f - position, std::memory_order_relaxed);
      SpectrogramOnColourScaleChanged();
      break;
    case kMainVolumeSlider:
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
    case kMenuPlayback:
      ChoosePlaybackFile();
      break;
    case kMenuRecordPrompt:
      RecordPrompt();
      break;
    case kMenuSaveSettings:
      SaveSettingsNow();
      break;
    case kMenuExit:
      XsQuit();
      break;
    case kMenuDeviceUsb0: case kMenuDeviceUsb1: case kMenuDeviceUsb2: case kMenuDeviceUsb3:
      SelectDevice("Ezusb-" + std::to_string(id - kMenuDeviceUsb0));
      break;
    case kMenuDeviceNetwork: {
      std::string address = RunNetworkParameters();
      g_settings.NetworkIPAddress.Set(address);
      g_networkDeviceName.Set("IP" + address);
      SelectDevice("IP" + address);
      break;
    }
    case kMenuModeAudio: case kMenuModeContinuous: case kMenuModeAutoSnap: case kMenuModeBufferedSnap:
      SetRecordMode(id - kMenuModeAudio + kModeAudio);
      break;
    case kMenuResponseNatural: SetResponse(false); break;
    case kMenuResponseCompensated: SetResponse(true); break;
    case kMenuTimeUtc: SetTimeStandard(0); break;
    case kMenuTimeLocal: SetTimeStandard(1); break;
    case kMenuRecord: StartRecordingUi(); break;
    case kMenuStop: StopRecordingUi(); break;
    case kToolPlayback: case kToolTessagram: case kToolRecordSetup: case kToolOperationTimer:
    case kToolFileTransfer: case kToolSpectralTrace: case kToolGpsStatus:
      ShowToolWindow(id);
      break;
    case kMenuAbout:
      RunAboutWindow();
      break;
  }
}

}  // namespace

void BuildMainWindow(XsWindow* w) {
  AddControls(w, kControls);
  XsControlDisable(w, kMainRecordButton);
  XsControlDisable(w, kMainStopButton);
  XsSliderSetRange(w, kMainVolumeSlider, 518);
  XsSliderSetPosition(w, kMainVolumeSlider,
                      static_cast<int>(2 * g_settings.AudioVolume.load(std::memory_order_relaxed)));
  XsSliderSetRange(w, kMainBrightnessSlider, 100);
  XsSliderSetPosition(w, kMainBrightnessSlider,
                      static_cast<int>(100 - g_settings.SonoBrightness.load(std::memory_order_relaxed)));
  XsSliderSetRange(w, kMainContrastSlider, 100);
  XsSliderSetPosition(w, kMainContrastSlider,
                      static_cast<int>(100 - g_settings.SonoContrast.load(std::memory_order_relaxed)));
  if (!g_settings.AudioOn.load(std::memory_order_relaxed)) XsControlSetText(w, kMainVolumeText, "Volume [OFF]");
  bool compensated = g_settings.MenuPrefilter.load(std::memory_order_relaxed);
  XsControlSetText(w, kMainResponseField, compensated ? "Compensated (Flat)" : "Natural");

  for (const MenuEntry& m : kMenu) XsMenuAdd(w, m.id, m.path);
  int standard = g_settings.TimeStandard.load(std::memory_order_relaxed);
  XsMenuCheck(w, standard == 1 ? kMenuTimeLocal : kMenuTimeUtc);
  std::string device = g_deviceName.Get();
  if (device.rfind("IP", 0) == 0)
    XsMenuCheck(w, kMenuDeviceNetwork);
  else if (device.size() == 7)
    XsMenuCheck(w, kMenuDeviceUsb0 + (device[6] - '0'));
  XsMenuCheck(w, compensated ? kMenuResponseCompensated : kMenuResponseNatural);
  const int mode = ShownRecordMode(g_settings.MenuRecordMode.load(std::memory_order_relaxed));
  if (mode != kModeAudio) XsMenuCheck(w, kMenuModeAudio + mode - kModeAudio);
  const char* modeText = mode == kModeContinuous ? "Continuous"
                         : mode == kModeAutoSnap ? "Auto Snap"
                         : mode == kModeBufferedSnap ? "Buffered Snap"
                                                     : "Audio";
  XsControlSetText(w, kMainModeField, modeText);
  XsMenuDisable(w, kMenuAudio44k);
  XsMenuCheck(w, kMenuAudio44k);
  XsMenuDisable(w, kMenuRecord);
  XsMenuDisable(w, kMenuStop);
  // A recorder that finishes by itself (Buffered Snap) and the orderly exit
  // stop through the same interface action as the Stop button.
  SetRecordStopAction(StopRecordingUi);
  SetRecordStartAction(StartRecordingUi);
  SetOutputFileAction(SetOutputFile);
}

int MainWindowHandler(XsWindow* w, int event, int* d) {
  switch (event) {
    case kXsUser:
      if (d[0] != kXsPostCode) break;
      // A receiver notice (the device field already shows the model's device text).
      SetDeviceTitles(d[1] == 1);
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
      if (d[0] == kMainFileButton) RecordPrompt();
      else if (d[0] == kMainRecordButton) StartRecordingUi();
      else if (d[0] == kMainStopButton) StopRecordingUi();
      else DiagPrint("Unknown gp button %d\n", d[0]);
      break;
    case kXsEditChanged:
      if (d[0] == kMainFileField) {
        std::string path = OutputPath();
        if (!path.empty()) {
          std::string name = XsControlText(w, kMainFileField).substr(0, 127);
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
