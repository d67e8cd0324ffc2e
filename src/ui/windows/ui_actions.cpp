#include "ui/windows/ui_actions.h"

#include <unistd.h>

#include <climits>

#include "core/file_ops.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "playback/playback_state.h"
#include "recording/record_paths.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/main_window_controls.h"
#include "ui/windows/operation_timer_window_controls.h"
#include "ui/windows/record_setup_window_controls.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

// The menu ids of the record modes 1..4.
constexpr int kModeMenuIds[] = {kMenuModeAudio, kMenuModeContinuous, kMenuModeAutoSnap, kMenuModeBufferedSnap};
const char* const kModeTexts[] = {"Audio", "Continuous", "Auto Snap", "Buffered Snap"};

std::string FileNameOrPlaceholder(const std::string& path) {
  if (path.empty()) return "<No File Selected>";
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The device name from its third character on: "usb-0" or the address.
std::string TitleDevice() {
  std::string name = g_deviceName.Get();
  return name.size() > 2 ? name.substr(2) : std::string();
}

void SetTitles(const char* suffixFormat, const std::string& value) {
  struct Titled {
    XsWindow* window;
    const char* title;
  };
  const Titled windows[] = {{g_mainWindow, "Halvane"},
                            {g_tessagramWindow, "Tessagram"},
                            {g_recordSetupWindow, "Record Setup"},
                            {g_operationTimerWindow, "Operation Timer"},
                            {g_spectralTraceWindow, "Spectral Trace"}};
  for (const Titled& t : windows) {
    std::string title = t.title;
    if (suffixFormat) {
      char text[600];
      std::snprintf(text, sizeof text, suffixFormat, value.c_str());
      title += text;
    }
    XsWindowSetTitle(t.window, title.c_str());
  }
}

}  // namespace

XsWindow* ToolWindowFor(int menuId) {
  switch (menuId) {
    case kToolPlayback: return g_playbackWindow;
    case kToolTessagram: return g_tessagramWindow;
    case kToolRecordSetup: return g_recordSetupWindow;
    case kToolOperationTimer: return g_operationTimerWindow;
    case kToolFileTransfer: return g_fileTransferWindow;
    case kToolSpectralTrace: return g_spectralTraceWindow;
    case kToolGpsStatus: return g_gpsStatusWindow;
  }
  return nullptr;
}

void ShowToolWindow(int menuId) {
  XsWindowShow(ToolWindowFor(menuId));
  XsMenuCheck(g_mainWindow, menuId);
  if (menuId == kToolPlayback) PlaybackModeOn();
  if (menuId == kToolSpectralTrace) g_traceShown.store(true, std::memory_order_relaxed);
}

void HideToolWindow(int menuId) {
  XsWindowHide(ToolWindowFor(menuId));
  XsMenuUncheck(g_mainWindow, menuId);
  // The flag falls once the playback thread has stopped writing conduit1.
  if (menuId == kToolPlayback) PlaybackModeOff();
  if (menuId == kToolSpectralTrace) g_traceShown.store(false, std::memory_order_relaxed);
}

std::string OutputPath() { return g_recordBasePath.Get(); }
std::string OutputDirectory() { return g_history.OutputDirectory.Get(); }
void SetOutputPathValue(const std::string& path) { g_recordBasePath.Set(path); }

int ShownRecordMode(int mode) {
  return mode == kModeContinuous || mode == kModeAutoSnap || mode == kModeBufferedSnap ? mode : kModeAudio;
}

void RefreshRecordButtonRule() {
  bool audioMode = ShownRecordMode(g_settings.MenuRecordMode.load(std::memory_order_relaxed)) == kModeAudio;
  bool allowed = !OutputPath().empty() && !g_recordOn.load(std::memory_order_relaxed) &&
                 (g_settings.AudioOn.load(std::memory_order_relaxed) || !audioMode);
  if (allowed) {
    XsControlEnable(g_mainWindow, kMainRecordButton);
    XsMenuEnable(g_mainWindow, kMenuRecord);
  } else {
    XsControlDisable(g_mainWindow, kMainRecordButton);
    XsMenuDisable(g_mainWindow, kMenuRecord);
  }
}

bool ChooseOutputFile() {
  const char* filter = g_settings.OutputFileFormat.load(std::memory_order_relaxed) ? ";*.wv" : ";*.wav";
  std::string path;
  std::string start = OutputDirectory();
  if (XsFileSaveDialog(g_mainWindow, filter, start.empty() ? nullptr : start.c_str(), &path) && !path.empty()) {
    if (path.size() > 511) path.resize(511);
    std::string folder = FolderPart(path);
    if (folder.empty()) {
      char cwd[PATH_MAX];
      folder = getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" : std::string("./");
      path = folder + path;
    }
    g_history.OutputDirectory.Set(folder);
    SetOutputPathValue(path);
  } else {
    SetOutputPathValue("");
  }
  XsControlSetText(g_mainWindow, kMainFileField, FileNameOrPlaceholder(OutputPath()).c_str());
  RefreshRecordButtonRule();
  return !OutputPath().empty();
}

void SetOutputFile(const std::string& path, const std::string& directory) {
  SetOutputPathValue(path);
  if (!directory.empty()) g_history.OutputDirectory.Set(directory);
  XsControlSetText(g_mainWindow, kMainFileField, FileNameOrPlaceholder(path).c_str());
  RefreshRecordButtonRule();
}

void RecordPrompt() {
  int mode = g_settings.MenuRecordMode.load(std::memory_order_relaxed);
  const char* caption = mode == 1   ? "Record...AUDIO"
                        : mode == 3 ? "Record...Auto Snap"
                        : mode == 4 ? "Record...Buffered Snap"
                        : mode == 2 ? "Record...Continuous"
                                    : "?";
  if (!ChooseOutputFile()) return;
  if (XsMessageQuestion(g_mainWindow, "Would you like to start recording now ? ", caption)) StartRecordingUi();
}

namespace {
// The menu items a running recording locks: File/Record..., Action/Record, and
// the device, record mode and response choices.
const int kLockedMenuItems[] = {
    kMenuRecordPrompt, kMenuRecord, kMenuDeviceUsb0, kMenuDeviceUsb1, kMenuDeviceUsb2, kMenuDeviceUsb3,
    kMenuDeviceNetwork, kMenuModeAudio, kMenuModeContinuous, kMenuModeAutoSnap, kMenuModeBufferedSnap,
    kMenuResponseNatural, kMenuResponseCompensated,
};
}

void StartRecordingUi() {
  XsControlDisable(g_mainWindow, kMainFileButton);
  XsControlDisable(g_mainWindow, kMainRecordButton);
  XsControlEnable(g_mainWindow, kMainStopButton);
  for (int id : kLockedMenuItems) XsMenuDisable(g_mainWindow, id);
  XsMenuEnable(g_mainWindow, kMenuStop);
  g_recordOn.store(true, std::memory_order_relaxed);
}

void StopRecordingUi() {
  XsControlEnable(g_mainWindow, kMainFileButton);
  XsControlEnable(g_mainWindow, kMainRecordButton);
  XsControlDisable(g_mainWindow, kMainStopButton);
  for (int id : kLockedMenuItems) XsMenuEnable(g_mainWindow, id);
  XsMenuDisable(g_mainWindow, kMenuStop);
  g_recordOn.store(false, std::memory_order_relaxed);
  RefreshRecordButtonRule();
}

void ApplyRecordSetupGroups(int mode) {
  XsWindow* w = g_recordSetupWindow;
  auto group = [w](std::initializer_list<std::pair<int, int>> ranges, bool enable) {
    for (auto [first, last] : ranges)
      for (int id = first; id <= last; ++id) enable ? XsControlEnable(w, id) : XsControlDisable(w, id);
  };
  bool autoSnap = mode == kModeAutoSnap;
  bool snapModes = mode == kModeAutoSnap || mode == kModeBufferedSnap;
  bool notAudio = mode == kModeContinuous || snapModes;
  group({{kSetupTriggerLabel, kSetupThreshold}, {kSetupFilterLabel, kSetupHighField}}, autoSnap);
  group({{kSetupDurationLabel, kSetupDuration2500ms}, {kSetupUserDuration, kSetupUserDuration}}, snapModes);
  bool userValid = g_settings.UserDurationValid.load(std::memory_order_relaxed);
  group({{kSetupUserDurationBox, kSetupUserDurationBox}}, snapModes && userValid);
  group({{kSetupPopLabel, kSetupPopOn}, {kSetupIdleBox, kSetupIdleField}}, autoSnap);
  group({{kSetupExpansionLabel, kSetupExpansion10}}, notAudio);
}

void SetRecordMode(int mode) {
  mode = ShownRecordMode(mode);
  g_settings.MenuRecordMode.store(mode, std::memory_order_relaxed);
  NotifyStationChange();  // the recorders wait for it while at rest
  for (int i = 0; i < 4; ++i)
    i == mode - 1 ? XsMenuCheck(g_mainWindow, kModeMenuIds[i]) : XsMenuUncheck(g_mainWindow, kModeMenuIds[i]);
  XsControlSetText(g_mainWindow, kMainModeField, kModeTexts[mode - 1]);
  if (mode == kModeAudio)
    HideToolWindow(kToolRecordSetup);
  else
    ShowToolWindow(kToolRecordSetup);
  ApplyRecordSetupGroups(mode);
  RefreshRecordButtonRule();
}

void SetDeviceTitles(bool receiverFound) {
  if (g_powerSave.load(std::memory_order_relaxed)) {
    SetTitles(" [%s]", "Power Save");
  } else if (receiverFound) {
    SetTitles(" [%s]", TitleDevice());
  } else {
    SetTitles(nullptr, "");
  }
}

void SelectDevice(const std::string& deviceName) {
  g_deviceName.Set(deviceName);
  int checked = deviceName.rfind("IP", 0) == 0 ? kMenuDeviceNetwork : kMenuDeviceUsb0 + (deviceName.back() - '0');
  for (int id = kMenuDeviceUsb0; id <= kMenuDeviceNetwork; ++id)
    id == checked ? XsMenuCheck(g_mainWindow, id) : XsMenuUncheck(g_mainWindow, id);
}

void SetResponse(bool compensated) {
  g_settings.MenuPrefilter.store(compensated, std::memory_order_relaxed);
  if (compensated) {
    XsMenuUncheck(g_mainWindow, kMenuResponseNatural);
    XsMenuCheck(g_mainWindow, kMenuResponseCompensated);
  } else {
    XsMenuCheck(g_mainWindow, kMenuResponseNatural);
    XsMenuUncheck(g_mainWindow, kMenuResponseCompensated);
  }
  XsControlSetText(g_mainWindow, kMainResponseField, compensated ? "Compensated (Flat)" : "Natural");
}

void SetTimeStandard(int standard) {
  g_settings.TimeStandard.store(standard, std::memory_order_relaxed);
  XsMenuCheck(g_mainWindow, standard ? kMenuTimeLocal : kMenuTimeUtc);
  XsMenuUncheck(g_mainWindow, standard ? kMenuTimeUtc : kMenuTimeLocal);
  XsControlSetText(g_operationTimerWindow, kTimerStandard, standard ? "Local" : "UTC");
}

bool ChooseArchiveDirectory() {
  std::string folder;
  if (!XsFolderDialog(g_fileTransferWindow, "Select archive directory", &folder) || folder.empty()) return false;
  if (folder.back() != '/') folder += '/';
  g_history.ArchiveDirectory.Set(folder);
  return true;
}

void SaveSettingsNow() {
  SaveSettingsAndHistory(ConfigDir(), [](const char* text) { XsMessageWarning(g_mainWindow, text); });
}

}  // namespace hv
