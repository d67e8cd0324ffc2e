// The main window's controls and menu items by id. The window's layout table,
// its handler and the interface actions address them by these names only.
#pragma once

namespace hv {

enum MainControl : int {
  kMainFileButton = 300, kMainFileField = 301, kMainRecordButton = 302, kMainStopButton = 303,
  kMainVolumeText = 308, kMainVolumeSlider = 309, kMainLevelText = 310,
  kMainLevelMeter = 311,  // the audio level, 0..100
  kMainDeviceLabel = 312,
  kMainDeviceField = 313,  // the receiver's product text, or "<No device found>"
  kMainModeLabel = 314, kMainModeField = 315, kMainResponseLabel = 317, kMainResponseField = 318,
  kMainBrightnessText = 357, kMainBrightnessSlider = 358, kMainContrastText = 359, kMainContrastSlider = 360,
};

enum MainMenuItem : int {
  kMenuPlayback = 200, kMenuRecordPrompt = 201, kMenuSaveSettings = 202, kMenuExit = 203,
  // Setup/Device: USB_0..USB_3 are kMenuDeviceUsb0 + receiver number, then Network.
  kMenuDeviceUsb0 = 210, kMenuDeviceUsb1 = 211, kMenuDeviceUsb2 = 212, kMenuDeviceUsb3 = 213, kMenuDeviceNetwork = 214,
  // Setup/Record: one item per record mode, kMenuModeAudio + mode - kModeAudio
  // (Audio has an id but no item in the menu).
  kMenuModeAudio = 215, kMenuModeContinuous = 216, kMenuModeAutoSnap = 217, kMenuModeBufferedSnap = 218,
  kMenuAudio44k = 219,
  kMenuResponseNatural = 220, kMenuResponseCompensated = 221,
  kMenuTimeUtc = 222, kMenuTimeLocal = 223,
  kMenuRecord = 230, kMenuStop = 231,
  kMenuAbout = 250,
};

// The tool windows reachable from the Window menu, by their menu item.
enum ToolWindow : int {
  kToolPlayback = 240, kToolTessagram = 241, kToolRecordSetup = 242, kToolOperationTimer = 243,
  kToolFileTransfer = 244, kToolSpectralTrace = 245, kToolGpsStatus = 246,
};

}  // namespace hv
