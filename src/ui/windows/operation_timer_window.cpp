#include "ui/windows/operation_timer_window.h"

#include <cstdint>
#include <string>
#include <vector>

#include "core/file_ops.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/time_of_day.h"
#include "display/display_colours.h"
#include "model/station_model.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/main_window_controls.h"
#include "ui/windows/operation_timer_window_controls.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

constexpr int kWidth = 560, kHeight = 312;
constexpr size_t kCommentCapacity = 511, kPathCapacity = 510;

const ControlLayout kLayout[] = {
    {kTimerClockLabel, kXsStatic, 16, 16, 80, 24, "Current Time:"},
    {kTimerClock, kXsStatic, 96, 16, 80, 24, "00:00:00"},
    {kTimerStandard, kXsStatic, 176, 16, 80, 24, nullptr},
    {kTimerStatusLabel, kXsStatic, 16, 40, 96, 24, "Status:"},
    {kTimerStatus, kXsStatic, 112, 40, 96, 24, "IDLE"},
    {kTimerEnable1, kXsCheckBox, 16, 72, 96, 24, "Program 1"},
    {kTimerStartLabel1, kXsStatic, 112, 96, 56, 24, "Start Time"},
    {kTimerStart1, kXsEdit, 184, 96, 56, 24, nullptr},
    {kTimerStopLabel1, kXsStatic, 112, 128, 56, 24, "Stop Time"},
    {kTimerStop1, kXsEdit, 184, 128, 56, 24, nullptr},
    {kTimerFile1, kXsButtonControl, 40, 160, 64, 20, "File..."},
    {kTimerFileName1, kXsStatic, 112, 164, 128, 20, nullptr},
    {kTimerComment1, kXsMultiEdit, 40, 196, 200, 96, nullptr},
    {kTimerPowerSaver, kXsCheckBox, 296, 16, 96, 24, "Power Saver"},
    {kTimerEnable2, kXsCheckBox, 296, 64, 96, 24, "Program 2"},
    {kTimerStartLabel2, kXsStatic, 392, 96, 56, 24, "Start Time"},
    {kTimerStart2, kXsEdit, 464, 96, 56, 24, nullptr},
    {kTimerStopLabel2, kXsStatic, 392, 128, 56, 24, "Stop Time"},
    {kTimerStop2, kXsEdit, 464, 128, 56, 24, nullptr},
    {kTimerFile2, kXsButtonControl, 320, 160, 64, 20, "File..."},
    {kTimerFileName2, kXsStatic, 392, 164, 128, 20, nullptr},
    {kTimerComment2, kXsMultiEdit, 320, 196, 200, 96, nullptr},
};

// The controls and values of one program, and the model texts the timer reads.
struct ProgramControls {
  int enable, startLabel, start, stopLabel, stop, file, fileName, comment;
  std::atomic<bool>* enabled;
  SharedText *startTime, *stopTime, *path, *directory, *commentText;
  const char* defaultComment;
  ModelItem startEntered, stopEntered, commentEntered;
};

ProgramControls Program(int n) {
  if (n == 1)
    return {kTimerEnable1, kTimerStartLabel1, kTimerStart1, kTimerStopLabel1, kTimerStop1, kTimerFile1, kTimerFileName1,
            kTimerComment1, &g_settings.Program1Enable, &g_settings.Pgm1StartTime, &g_settings.Pgm1StopTime,
            &g_history.Pgm1FileName, &g_history.Pgm1Directory, &g_history.Pgm1Comment, "<Program 1 Comment>",
            ModelItem::kTimerStart1, ModelItem::kTimerStop1, ModelItem::kTimerComment1};
  return {kTimerEnable2, kTimerStartLabel2, kTimerStart2, kTimerStopLabel2, kTimerStop2, kTimerFile2, kTimerFileName2,
          kTimerComment2, &g_settings.Program2Enable, &g_settings.Pgm2StartTime, &g_settings.Pgm2StopTime,
          &g_history.Pgm2FileName, &g_history.Pgm2Directory, &g_history.Pgm2Comment, "<Program 2 Comment>",
          ModelItem::kTimerStart2, ModelItem::kTimerStop2, ModelItem::kTimerComment2};
}

// The timer reads a program's times and comment as entered here, also a time
// that is not valid yet and the comment's placeholder.
void EnterProgramTexts(XsWindow* w, const ProgramControls& p) {
  SetModelText(p.startEntered, XsControlText(w, p.start));
  SetModelText(p.stopEntered, XsControlText(w, p.stop));
  SetModelText(p.commentEntered, XsControlText(w, p.comment));
  SetModelNumber(ModelItem::kTimerProgramsEntered, 1);
}

int ProgramOf(int id) {
  switch (id) {
    case kTimerEnable1: case kTimerStart1: case kTimerStop1: case kTimerFile1: case kTimerComment1: return 1;
    case kTimerEnable2: case kTimerStart2: case kTimerStop2: case kTimerFile2: case kTimerComment2: return 2;
  }
  return 0;
}

std::vector<uint32_t>& Background() {
  static std::vector<uint32_t> pixels(size_t(kWidth) * kHeight, kButtonFacePixel);
  return pixels;
}

void SetEnabled(XsWindow* w, int id, bool on) { on ? XsControlEnable(w, id) : XsControlDisable(w, id); }

bool TimesValid(XsWindow* w, const ProgramControls& p) {
  return ParseTimeOfDay(XsControlText(w, p.start), nullptr) && ParseTimeOfDay(XsControlText(w, p.stop), nullptr);
}

// An enabled program cannot be edited: its entries are greyed.
void SetEntriesEnabled(XsWindow* w, const ProgramControls& p, bool on) {
  for (int id : {p.start, p.stop, p.file, p.comment}) SetEnabled(w, id, on);
}

void ChooseProgramFile(XsWindow* w, int n) {
  ProgramControls p = Program(n);
  const char* filter = g_settings.OutputFileFormat.load(std::memory_order_relaxed) ? ";*.wv" : ";*.wav";
  std::string folder = p.directory->Get();
  std::string path;
  if (XsFileSaveDialog(w, filter, folder.empty() ? nullptr : folder.c_str(), &path) && !path.empty()) {
    if (path.size() > kPathCapacity) path.resize(kPathCapacity);
    p.path->Set(path);
    if (!FolderPart(path).empty()) p.directory->Set(FolderPart(path));
    XsControlSetText(w, p.fileName, FileNamePart(path).c_str());
    SetEnabled(w, p.enable, TimesValid(w, p));
  } else {
    p.path->Set("");
    XsControlSetText(w, p.fileName, "<No File Selected>");
    XsControlDisable(w, p.enable);
  }
}

void TimeEdited(XsWindow* w, int id) {
  ProgramControls p = Program(ProgramOf(id));
  const bool isStart = id == p.start;
  const int label = isStart ? p.startLabel : p.stopLabel;
  std::string text = XsControlText(w, id);
  SetModelText(isStart ? p.startEntered : p.stopEntered, text);
  if (ParseTimeOfDay(text, nullptr)) {
    (isStart ? p.startTime : p.stopTime)->Set(text.substr(0, 127));
    XsControlEnable(w, label);
    SetEnabled(w, p.enable, !p.path->Get().empty());
  } else {
    XsControlDisable(w, p.enable);
    XsControlDisable(w, label);
  }
}

void BuildProgram(XsWindow* w, int n) {
  ProgramControls p = Program(n);
  const bool enabled = p.enabled->load(std::memory_order_relaxed);
  std::string start = p.startTime->Get(), stop = p.stopTime->Get();
  XsControlSetText(w, p.start, start.empty() ? "00:00:00" : start.c_str());
  XsControlSetText(w, p.stop, stop.empty() ? "00:00:00" : stop.c_str());
  std::string path = p.path->Get();
  XsControlSetText(w, p.fileName, path.empty() ? "<No file selected>" : FileNamePart(path).c_str());
  // An empty comment shows its placeholder; it is stored only once edited.
  std::string comment = p.commentText->Get();
  XsControlSetText(w, p.comment, comment.empty() ? p.defaultComment : comment.c_str());
  XsCheckSet(w, p.enable, enabled);
  SetEntriesEnabled(w, p, !enabled);
  // A program can be switched on only with a base path and valid times; a
  // program already on can always be switched off.
  SetEnabled(w, p.enable, enabled || (!path.empty() && TimesValid(w, p)));
  EnterProgramTexts(w, p);
}

}  // namespace

// Runs on the main thread.
int OperationTimerHandler(XsWindow* w, int event, int* data) {
  switch (event) {
    case kXsPaint: {
      LockGuard lock(g_displayLock);
      XsDrawImage(w, Background().data(), kWidth, kHeight, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight);
      break;
    }
    case kXsClose:
      XsWindowHide(w);
      XsMenuUncheck(g_mainWindow, kToolOperationTimer);
      break;
    case kXsButton: {
      const int id = data[0];
      if (id == kTimerEnable1 || id == kTimerEnable2) {
        ProgramControls p = Program(ProgramOf(id));
        bool on = XsCheckGet(w, id);
        p.enabled->store(on, std::memory_order_relaxed);
        SetEntriesEnabled(w, p, !on);
      } else if (id == kTimerPowerSaver) {
        g_settings.PowerSaverEnable.store(XsCheckGet(w, id), std::memory_order_relaxed);
      } else if (id == kTimerFile1 || id == kTimerFile2) {
        ChooseProgramFile(w, ProgramOf(id));
      }
      break;
    }
    case kXsEditChanged: {
      const int id = data[0];
      if (id == kTimerStart1 || id == kTimerStop1 || id == kTimerStart2 || id == kTimerStop2) {
        TimeEdited(w, id);
      } else if (id == kTimerComment1 || id == kTimerComment2) {
        ProgramControls p = Program(ProgramOf(id));
        std::string text = XsControlText(w, id);
        SetModelText(p.commentEntered, text);
        p.commentText->Set(text.substr(0, kCommentCapacity));
      }
      break;
    }
    default:
      break;
  }
  return 0;
}

// Runs on the main thread.
XsWindow* CreateOperationTimerWindow() {
  XsWindow* w = CreateToolWindow(OperationTimerHandler, kXsFixedTool, "Operation Timer", kWidth, kHeight, 80, 144);
  if (!w) return nullptr;
  g_operationTimerWindow = w;
  AddControls(w, kLayout);
  XsControlSetText(w, kTimerStandard, g_settings.TimeStandard.load(std::memory_order_relaxed) == 1 ? "Local" : "UTC");
  XsCheckSet(w, kTimerPowerSaver, g_settings.PowerSaverEnable.load(std::memory_order_relaxed));
  BuildProgram(w, 1);
  BuildProgram(w, 2);
  return w;
}

}  // namespace hv
