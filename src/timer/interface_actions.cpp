#include "timer/interface_actions.h"

#include "core/file_ops.h"
#include "core/station_state.h"
#include "recording/record_paths.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {
// Main window ids: output file button, text, Record and Stop buttons; menu items.
constexpr int kFileButton = 300, kFileText = 301, kRecordButton = 302, kStopButton = 303;
constexpr int kMenuRecord = 230, kMenuStop = 231;
constexpr int kLockedMenuItems[] = {201, 230, 210, 211, 212, 213, 214, 215, 216, 217, 218, 220, 221};

void RefreshRecordEnable() {
  bool audioBlocked = g_settings.MenuRecordMode.load(std::memory_order_relaxed) == kModeAudio &&
                      !g_settings.AudioOn.load(std::memory_order_relaxed);
  bool enable = !g_recordBasePath.Get().empty() && !g_recordOn.load(std::memory_order_relaxed) && !audioBlocked;
  if (enable) {
    XsControlEnable(g_mainWindow, kRecordButton);
    XsMenuEnable(g_mainWindow, kMenuRecord);
  } else {
    XsControlDisable(g_mainWindow, kRecordButton);
    XsMenuDisable(g_mainWindow, kMenuRecord);
  }
}
}  // namespace

void UiSetOutputFile(const std::string& path, const std::string& directory) {
  g_recordBasePath.Set(path.substr(0, 511));
  if (!directory.empty()) g_history.OutputDirectory.Set(directory);
  std::string name = FileNamePart(path);
  XsControlSetText(g_mainWindow, kFileText, name.empty() ? "<No File Selected>" : name.c_str());
  RefreshRecordEnable();
}

void UiStartRecording() {
  XsControlDisable(g_mainWindow, kFileButton);
  XsControlDisable(g_mainWindow, kRecordButton);
  XsControlEnable(g_mainWindow, kStopButton);
  for (int id : kLockedMenuItems) XsMenuDisable(g_mainWindow, id);
  XsMenuEnable(g_mainWindow, kMenuStop);
  g_recordOn.store(true, std::memory_order_relaxed);
}

void UiStopRecording() {
  XsControlEnable(g_mainWindow, kFileButton);
  XsControlEnable(g_mainWindow, kRecordButton);
  XsControlDisable(g_mainWindow, kStopButton);
  for (int id : kLockedMenuItems) XsMenuEnable(g_mainWindow, id);
  XsMenuDisable(g_mainWindow, kMenuStop);
  g_recordOn.store(false, std::memory_order_relaxed);
}

}  // namespace hv
