#include "ui/windows/playback_window.h"

#include <atomic>
#include <filesystem>

#include "core/file_ops.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/status_print.h"
#include "formats/playback_file.h"
#include "formats/playback_file_info.h"
#include "model/station_model.h"
#include "playback/playback_state.h"
#include "playback/time_base.h"
#include "recording/recorder_texts.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/playback_window_controls.h"
#include "ui/windows/ui_actions.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {


// Whether the ratio field holds a valid ratio (read by the playback thread's stop action).
std::atomic<bool> s_ratioValid{true};
// The folder of the listed files, with its trailing "/" (user-interface thread).
std::string s_folder;

XsWindow* W() { return g_playbackWindow; }

bool FileSelected() { return !g_playback.filePath.Get().empty(); }

bool PlayAllowed() {
  return FileSelected() &&
         (g_playback.timeBase.load(std::memory_order_relaxed) != kTimeBase1toN || s_ratioValid.load());
}

void SetEnabled(int id, bool enabled) {
  if (enabled)
    XsControlEnable(W(), id);
  else
    XsControlDisable(W(), id);
}

void UpdatePlayButton() { SetEnabled(kPlaybackPlayButton, PlayAllowed()); }

// Runs on the user-interface thread, or on the playback thread at the end of a
// file or after a refused open.
void StopAction() {
  g_playback.command.store(kPlaybackStop, std::memory_order_relaxed);
  for (int id : {kPlaybackFileButton, kPlaybackFileList, kPlaybackPlayButton, kPlaybackBox1to1, kPlaybackBox1to2,
                 kPlaybackRatioField})
    XsControlEnable(W(), id);
  SetEnabled(kPlaybackBox1toN, s_ratioValid.load());
  XsControlDisable(W(), kPlaybackPauseButton);
  XsControlDisable(W(), kPlaybackStopButton);
}

// Runs on the playback thread.
void ShowPosition(const char* text) { XsControlSetText(W(), kPlaybackPosition, text); }

void PlayAction() {
  if (!PlayAllowed()) return;
  for (int id : {kPlaybackFileButton, kPlaybackFileList, kPlaybackPlayButton, kPlaybackBox1to1, kPlaybackBox1to2,
                 kPlaybackBox1toN, kPlaybackRatioField})
    XsControlDisable(W(), id);
  XsControlEnable(W(), kPlaybackPauseButton);
  XsControlEnable(W(), kPlaybackStopButton);
  g_playback.command.store(kPlaybackPlay, std::memory_order_relaxed);
}

void PauseAction() {
  XsControlEnable(W(), kPlaybackPlayButton);
  XsControlDisable(W(), kPlaybackPauseButton);
  XsControlEnable(W(), kPlaybackStopButton);
  g_playback.command.store(kPlaybackPause, std::memory_order_relaxed);
}

void SelectTimeBase(int timeBase) {
  g_playback.timeBase.store(timeBase, std::memory_order_relaxed);
  XsCheckSet(W(), kPlaybackBox1to1, timeBase == kTimeBase1to1);
  XsCheckSet(W(), kPlaybackBox1to2, timeBase == kTimeBase1to2);
  XsCheckSet(W(), kPlaybackBox1toN, timeBase == kTimeBase1toN);
  UpdatePlayButton();
}

void RatioChanged(const std::string& text) {
  float n = 0;
  bool valid = ParseRatio(text, &n);
  s_ratioValid.store(valid);
  if (valid) g_playback.ratio.store(n, std::memory_order_relaxed);
  SetEnabled(kPlaybackBox1toN, valid);
  if (g_playback.timeBase.load(std::memory_order_relaxed) == kTimeBase1toN) UpdatePlayButton();
}

// Reads the selected file's information into the shared state and the fields.
void ReadSelectedFileInfo(const std::string& path) {
  PlaybackFile file;
  if (!file.Open(path)) {
    DiagPrint("Failed opening playback file %s: %s\n", Escaped(path).c_str(), file.Error().c_str());
    return;
  }
  PlaybackFileInfo info;
  ReadPlaybackFileInfo(file, path, &info);
  float rate = static_cast<float>(info.realRate);
  g_playbackStreamRate.store(rate, std::memory_order_relaxed);
  g_playbackStreamChannels.store(info.format.channels, std::memory_order_relaxed);
  g_playbackDeviceText.Set(info.deviceName);
  g_fileCompensated.store(info.compensated, std::memory_order_relaxed);
  SetSelectedStreamTime(info.startTime);
  XsControlSetText(W(), kPlaybackComment, info.fieldText.c_str());
  if (!info.setupComment.empty()) SetModelText(ModelItem::kRecordComment, info.setupComment);
  if (file.Close() != 0) DiagPrint("Failed closing playback file %s\n", path.c_str());
}

// Lists the folder of `path`, selects the file and reads its information.
void SelectFile(const std::string& path) {
  s_folder = FolderPart(path);
  g_history.InputDirectory.Set(s_folder);
  XsListClear(W(), kPlaybackFileList);
  XsListFillDir(W(), kPlaybackFileList, (s_folder + "*.*w*").c_str());
  XsListSelect(W(), kPlaybackFileList, XsListFind(W(), kPlaybackFileList, FileNamePart(path).c_str()));
  g_playback.filePath.Set(path);
  ReadSelectedFileInfo(path);
}

void ClearSelection() {
  XsListClear(W(), kPlaybackFileList);
  g_playback.filePath.Set("");
}

// The open dialog for a recording; true with the chosen path.
bool OpenDialog(std::string* path) {
  const char* filter = g_settings.OutputFileFormat.load(std::memory_order_relaxed) == 0 ? ";*.wav" : ";*.wv";
  return XsFileOpenDialog(W(), filter, g_history.InputDirectory.Get().c_str(), path) && !path->empty();
}

void ChooseFile() {
  std::string path;
  if (OpenDialog(&path))
    SelectFile(path);
  else
    ClearSelection();
  UpdatePlayButton();
}

void ListSelectionChanged() {
  int index = XsListGetSelected(W(), kPlaybackFileList);
  char name[4096];
  if (index < 0 || !XsListGetText(W(), kPlaybackFileList, index, name, sizeof name)) return;
  std::string path = s_folder + name;
  g_playback.filePath.Set(path);
  ReadSelectedFileInfo(path);
  UpdatePlayButton();
}

void ButtonClicked(int id) {
  switch (id) {
    case kPlaybackFileButton: ChooseFile(); break;
    case kPlaybackPlayButton: PlayAction(); break;
    case kPlaybackPauseButton: PauseAction(); break;
    case kPlaybackStopButton: StopAction(); break;
    case kPlaybackLoopBox: g_playback.loop.store(XsCheckGet(W(), kPlaybackLoopBox), std::memory_order_relaxed); break;
    case kPlaybackBox1to1: SelectTimeBase(kTimeBase1to1); break;
    case kPlaybackBox1to2: SelectTimeBase(kTimeBase1to2); break;
    case kPlaybackBox1toN: SelectTimeBase(kTimeBase1toN); break;
    default: DiagPrint("Unknown playback button %d\n", id); break;
  }
}

}  // namespace

int PlaybackWindowHandler(XsWindow*, int event, int* data) {
  switch (event) {
    case kXsClose: HidePlaybackWindow(); break;
    case kXsButton: ButtonClicked(data[0]); break;
    case kXsEditChanged:
      if (data[0] == kPlaybackRatioField) RatioChanged(XsControlText(W(), kPlaybackRatioField));
      break;
    case kXsSelectionChanged:
      if (data[0] == kPlaybackFileList) ListSelectionChanged();
      break;
    case kXsListDoubleClick:
      if (data[0] == kPlaybackFileList) PlayAction();
      break;
    default: break;  // the controls draw themselves; there is no picture to paint
  }
  return 0;
}

namespace {

const ControlLayout kControls[] = {
    {kPlaybackFileButton, kXsButtonControl, 16, 16, 64, 20, "File..."},
    {kPlaybackFileList, kXsList, 96, 16, 272, 96, ""},
    {kPlaybackCommentLabel, kXsStatic, 16, 120, 64, 20, "Comment"},
    {kPlaybackComment, kXsMultiEdit, 96, 116, 272, 48, "<no comment>"},
    {kPlaybackLoopBox, kXsCheckBox, 16, 188, 64, 20, "Loop"},
    {kPlaybackPlayButton, kXsButtonControl, 96, 188, 48, 20, "Play"},
    {kPlaybackPauseButton, kXsButtonControl, 152, 188, 48, 20, "Pause"},
    {kPlaybackStopButton, kXsButtonControl, 208, 188, 48, 20, "Stop"},
    {kPlaybackPosition, kXsStatic, 288, 188, 48, 20, "00:00:00"},
    {kPlaybackTimeBaseLabel, kXsStatic, 16, 236, 64, 20, "Time base :"},
    {kPlaybackBox1to1, kXsCheckBox, 96, 236, 48, 20, "1:1"},
    {kPlaybackBox1to2, kXsCheckBox, 152, 236, 48, 20, "1:2"},
    {kPlaybackBox1toN, kXsCheckBox, 208, 236, 16, 20, ""},
    {kPlaybackRatioField, kXsEdit, 224, 236, 64, 20, "1:4"},
};

}  // namespace

XsWindow* CreatePlaybackWindow() {
  XsWindow* w = CreateToolWindow(PlaybackWindowHandler, kXsFixedTool, "Playback", 384, 288, 164, 164);
  g_playbackWindow = w;
  if (!w) return nullptr;
  BuildPlaybackWindow(w);
  return w;
}

void BuildPlaybackWindow(XsWindow* w) {
  if (!w) return;
  AddControls(w, kControls);
  XsCheckSet(w, kPlaybackBox1to1, true);
  XsCheckSet(w, kPlaybackLoopBox, g_playback.loop.load(std::memory_order_relaxed));
  for (int id : {kPlaybackPlayButton, kPlaybackPauseButton, kPlaybackStopButton}) XsControlDisable(w, id);
  s_ratioValid.store(true);
  g_playback.ratio.store(4.0f, std::memory_order_relaxed);
  g_playback.timeBase.store(kTimeBase1to1, std::memory_order_relaxed);
  SetPlaybackStopAction(StopAction);
  SetPlaybackPositionDisplay(ShowPosition);
}

void ShowPlaybackWindow() { ShowToolWindow(kToolPlayback); }

bool HidePlaybackWindow() {
  if (g_playback.command.load(std::memory_order_relaxed) != kPlaybackStop) {
    XsMessageInfoPlaybackStop(W());
    return false;
  }
  g_playback.command.store(kPlaybackStop, std::memory_order_relaxed);
  HideToolWindow(kToolPlayback);
  return true;
}

void ChoosePlaybackFile() {
  if (g_playback.command.load(std::memory_order_relaxed) == kPlaybackStop) {
    ChooseFile();
  } else {
    // During a replay (File/Playback... is the only way to the dialog then): a
    // cancelled dialog leaves the file playing; another file stops the replay,
    // as Stop does, and is then selected, ready to play.
    std::string path;
    if (OpenDialog(&path)) {
      StopAction();
      SelectFile(path);
      UpdatePlayButton();
    }
  }
  ShowPlaybackWindow();
}

bool StartPlaybackFromCommandLine(const std::string& file, bool loop, const std::string& timeBase) {
  if (timeBase.empty()) {
  } else if (timeBase == "1:1") {
    SelectTimeBase(kTimeBase1to1);
  } else if (timeBase == "1:2") {
    SelectTimeBase(kTimeBase1to2);
  } else {
    XsControlSetText(W(), kPlaybackRatioField, timeBase.c_str());
    RatioChanged(timeBase);
    if (!s_ratioValid.load()) return false;
    SelectTimeBase(kTimeBase1toN);
  }
  g_playback.loop.store(loop, std::memory_order_relaxed);
  XsCheckSet(W(), kPlaybackLoopBox, loop);
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(file, error);
  SelectFile(error ? file : absolute.string());
  ShowPlaybackWindow();
  UpdatePlayButton();
  PlayAction();
  return true;
}

}  // namespace hv
