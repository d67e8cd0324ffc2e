#include "ui/windows/record_setup_window.h"

#include <cstdio>
#include <string>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/sonogram_view.h"
#include "model/station_model.h"
#include "recording/recorder_texts.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/number_rule.h"
#include "ui/windows/record_setup_window_controls.h"
#include "ui/windows/ui_actions.h"

namespace hv {

namespace {

std::atomic<bool> s_idleValid{true};

std::string Number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%3.1f", value);
  return text;
}

void CheckOnly(XsWindow* w, int first, int last, int chosen) {
  for (int id = first; id <= last; ++id) XsCheckSet(w, id, id == chosen);
}

bool ReadNumber(XsWindow* w, int id, float* value) {
  std::string text = XsControlText(w, id).substr(0, 127);
  return ParseNumberRule(text, value);
}

// The rate of the stream the trigger sees: the replay's during playback, else the receiver's.
float StreamRate() {
  return g_playbackActive.load(std::memory_order_relaxed) ? g_playbackStreamRate.load(std::memory_order_relaxed)
                                                          : g_deviceSampleRate.load(std::memory_order_relaxed);
}

void OnFilterRangeChanged(XsWindow* w, int changed) {
  if (g_settings.MenuRecordMode.load(std::memory_order_relaxed) != kModeAutoSnap) return;
  int other = changed == kSetupLowField ? kSetupHighField : kSetupLowField;
  auto labelOf = [](int field) { return field == kSetupLowField ? kSetupLowLabel : kSetupHighLabel; };
  float changedKHz = 0, otherKHz = 0;
  if (!ReadNumber(w, changed, &changedKHz)) {
    XsControlDisable(w, labelOf(changed));
    return;
  }
  if (!ReadNumber(w, other, &otherKHz)) {
    XsControlDisable(w, labelOf(other));
    return;
  }
  float limit = StreamRate() / 2.0f;
  float low = (changed == kSetupLowField ? changedKHz : otherKHz) * 1000.0f;
  float high = (changed == kSetupLowField ? otherKHz : changedKHz) * 1000.0f;
  if (low > limit) low = limit;
  if (high > limit) high = limit;
  if (high <= low) {
    XsControlDisable(w, labelOf(changed));
    return;
  }
  XsControlEnable(w, kSetupLowLabel);
  XsControlEnable(w, kSetupHighLabel);
  g_settings.SnapFilterLowFreq.store(low, std::memory_order_relaxed);
  g_settings.SnapFilterHighFreq.store(high, std::memory_order_relaxed);
  LockGuard lock(g_displayLock);
  if (lock.held()) FullRepaintLocked();
}

void OnEditChanged(XsWindow* w, int id) {
  float value = 0;
  int mode = g_settings.MenuRecordMode.load(std::memory_order_relaxed);
  switch (id) {
    case kSetupThreshold:
      if (ReadNumber(w, kSetupThreshold, &value)) {
        g_settings.SnapAutoThreshold.store(value, std::memory_order_relaxed);
        mode == kModeAutoSnap ? XsControlEnable(w, kSetupAutoTrigger) : XsControlDisable(w, kSetupAutoTrigger);
      } else {
        XsControlDisable(w, kSetupAutoTrigger);
      }
      break;
    case kSetupUserDuration:
      if (ReadNumber(w, kSetupUserDuration, &value) && value >= 0 && value * 1000.0f <= 600000.0f) {
        g_settings.UserDurationValid.store(true, std::memory_order_relaxed);
        int ms = static_cast<int>(value * 1000.0f);
        g_settings.UserDurationMS.store(ms, std::memory_order_relaxed);
        XsControlEnable(w, kSetupUserDurationBox);
        if (XsCheckGet(w, kSetupUserDurationBox) && ms != 0)
          g_settings.SnapDurationMS.store(ms, std::memory_order_relaxed);
      } else {
        XsControlDisable(w, kSetupUserDurationBox);
        g_settings.UserDurationValid.store(false, std::memory_order_relaxed);
      }
      break;
    case kSetupIdleField:
      if (ReadNumber(w, kSetupIdleField, &value) && value >= 0 && value * 1000.0f <= 3600000.0f) {
        s_idleValid.store(true, std::memory_order_relaxed);
        g_settings.SnapIdleTimeoutMS.store(static_cast<int>(value * 1000.0f), std::memory_order_relaxed);
        XsControlEnable(w, kSetupIdleBox);
      } else {
        XsControlDisable(w, kSetupIdleBox);
        s_idleValid.store(false, std::memory_order_relaxed);
      }
      break;
    case kSetupLowField:
    case kSetupHighField:
      OnFilterRangeChanged(w, id);
      break;
    case kSetupComment:
      SetModelText(ModelItem::kRecordComment, XsControlText(w, kSetupComment));
      break;
  }
}

void OnButton(XsWindow* w, int id) {
  static const int kDurations[] = {100, 250, 500, 1000, 2500};
  static const int kExpansions[] = {1, 2, 4, 10};
  if (id == kSetupManualTrigger || id == kSetupAutoTrigger) {
    CheckOnly(w, kSetupManualTrigger, kSetupAutoTrigger, id);
    g_settings.SnapAutoTrigger.store(id == kSetupAutoTrigger, std::memory_order_relaxed);
  } else if (id >= kSetupDuration100ms && id <= kSetupDuration2500ms) {
    CheckOnly(w, kSetupDuration100ms, kSetupUserDurationBox, id);
    g_settings.SnapDurationMS.store(kDurations[id - kSetupDuration100ms], std::memory_order_relaxed);
  } else if (id == kSetupUserDurationBox) {
    CheckOnly(w, kSetupDuration100ms, kSetupUserDurationBox, id);
    bool valid = g_settings.UserDurationValid.load(std::memory_order_relaxed);
    g_settings.SnapDurationMS.store(valid ? g_settings.UserDurationMS.load(std::memory_order_relaxed) : 5000,
                                    std::memory_order_relaxed);
  } else if (id >= kSetupExpansion1 && id <= kSetupExpansion10) {
    CheckOnly(w, kSetupExpansion1, kSetupExpansion10, id);
    g_settings.SnapTimeExpand.store(kExpansions[id - kSetupExpansion1], std::memory_order_relaxed);
  } else if (id == kSetupPopOff || id == kSetupPopOn) {
    CheckOnly(w, kSetupPopOff, kSetupPopOn, id);
    g_settings.PopFilterEnable.store(id == kSetupPopOn, std::memory_order_relaxed);
  } else if (id == kSetupFormatStandard || id == kSetupFormatCompressed) {
    CheckOnly(w, kSetupFormatStandard, kSetupFormatCompressed, id);
    g_settings.OutputFileFormat.store(id == kSetupFormatCompressed ? 1 : 0, std::memory_order_relaxed);
  } else if (id == kSetupIdleBox) {
    bool on = g_settings.SnapIdleTimeoutEnable.load(std::memory_order_relaxed);
    on = on ? false : s_idleValid.load(std::memory_order_relaxed);
    g_settings.SnapIdleTimeoutEnable.store(on, std::memory_order_relaxed);
    XsCheckSet(w, kSetupIdleBox, on);
  } else if (id == kSetupCloseButton) {
    HideToolWindow(kToolRecordSetup);
  } else {
    DiagPrint("Invalid AutoSnap button_ID %ld\n", static_cast<long>(id));
  }
}

}  // namespace

bool IdleTimeoutValid() { return s_idleValid.load(std::memory_order_relaxed); }

void ResetRecordSetupState() {
  s_idleValid.store(true, std::memory_order_relaxed);
  g_settings.UserDurationValid.store(true, std::memory_order_relaxed);
}

void BuildRecordSetupWindow(XsWindow* w) {
  const Settings& s = g_settings;
  std::string threshold = Number(s.SnapAutoThreshold.load());
  std::string low = Number(s.SnapFilterLowFreq.load() / 1000.0f);
  std::string high = Number(s.SnapFilterHighFreq.load() / 1000.0f);
  std::string user = Number(s.UserDurationMS.load() / 1000.0f);
  std::string idle = Number(s.SnapIdleTimeoutMS.load() / 1000.0f);
  const ControlLayout layout[] = {
      {kSetupTriggerLabel, kXsStatic, 16, 16, 256, 24, "Snapshot Trigger Threshold:"},
      {kSetupManualTrigger, kXsCheckBox, 48, 32, 196, 32, "Manual (Linked to Tessagram)"},
      {kSetupAutoTrigger, kXsCheckBox, 48, 64, 128, 32, "Automatic :  NF +  (dB)"},
      {kSetupThreshold, kXsEdit, 180, 68, 32, 24, threshold.c_str()},
      {kSetupFilterLabel, kXsStatic, 16, 104, 256, 24, "Trigger Filter Range (KHz):"},
      {kSetupLowLabel, kXsStatic, 48, 128, 32, 24, "Low:"},
      {kSetupLowField, kXsEdit, 80, 128, 40, 24, low.c_str()},
      {kSetupHighLabel, kXsStatic, 152, 128, 32, 24, "High:"},
      {kSetupHighField, kXsEdit, 184, 128, 40, 24, high.c_str()},
      {kSetupDurationLabel, kXsStatic, 16, 168, 256, 24, "Snapshot Duration (seconds):"},
      {kSetupDuration100ms, kXsCheckBox, 48, 184, 64, 32, "0.1"},
      {kSetupDuration250ms, kXsCheckBox, 112, 184, 64, 32, "0.25"},
      {kSetupDuration500ms, kXsCheckBox, 176, 184, 64, 32, "0.5"},
      {kSetupDuration1s, kXsCheckBox, 48, 216, 64, 32, "1.0"},
      {kSetupDuration2500ms, kXsCheckBox, 112, 216, 64, 32, "2.5"},
      {kSetupUserDurationBox, kXsCheckBox, 176, 216, 20, 32, ""},
      {kSetupUserDuration, kXsEdit, 196, 220, 40, 24, user.c_str()},
      {kSetupIdleBox, kXsCheckBox, 48, 264, 128, 32, "Idle Timeout (sec)"},
      {kSetupIdleField, kXsEdit, 176, 268, 40, 24, idle.c_str()},
      {kSetupStatusLine, kXsStatic, 16, 316, 128, 32, "Status : Inactive"},
      {kSetupFileLine, kXsStatic, 160, 316, 256, 32, ""},
      {kSetupPopLabel, kXsStatic, 288, 16, 256, 24, "Pop Filter:"},
      {kSetupPopOff, kXsCheckBox, 320, 32, 32, 32, "Off"},
      {kSetupPopOn, kXsCheckBox, 384, 32, 32, 32, "On"},
      {kSetupFormatLabel, kXsStatic, 288, 64, 96, 24, "Output Format:"},
      {kSetupFormatStandard, kXsCheckBox, 320, 80, 72, 32, "Standard"},
      {kSetupFormatCompressed, kXsCheckBox, 416, 80, 80, 32, "Compressed"},
      {kSetupExpansionLabel, kXsStatic, 288, 112, 256, 24, "Time Expansion Factor:"},
      {kSetupExpansion1, kXsCheckBox, 320, 128, 64, 32, "1"},
      {kSetupExpansion2, kXsCheckBox, 384, 128, 64, 32, "2"},
      {kSetupExpansion4, kXsCheckBox, 448, 128, 64, 32, "4"},
      {kSetupExpansion10, kXsCheckBox, 512, 128, 80, 32, "10"},
      {kSetupCommentLabel, kXsStatic, 288, 160, 64, 24, "Comment:"},
      {kSetupComment, kXsMultiEdit, 288, 184, 256, 112, "<no comment>"},
  };
  AddControls(w, layout);
  XsControlDisable(w, kSetupStatusLine);
  XsControlDisable(w, kSetupFileLine);
  bool autoTrigger = s.SnapAutoTrigger.load();
  XsCheckSet(w, kSetupManualTrigger, !autoTrigger);
  XsCheckSet(w, kSetupAutoTrigger, autoTrigger);
  int duration = s.SnapDurationMS.load();
  const int durations[] = {100, 250, 500, 1000, 2500};
  for (int i = 0; i < 5; ++i) XsCheckSet(w, kSetupDuration100ms + i, duration == durations[i]);
  XsCheckSet(w, kSetupUserDurationBox, duration == s.UserDurationMS.load());
  XsCheckSet(w, kSetupIdleBox, s.SnapIdleTimeoutEnable.load());
  XsCheckSet(w, kSetupPopOff, !s.PopFilterEnable.load());
  XsCheckSet(w, kSetupPopOn, s.PopFilterEnable.load());
  XsCheckSet(w, kSetupFormatStandard, s.OutputFileFormat.load() == 0);
  XsCheckSet(w, kSetupFormatCompressed, s.OutputFileFormat.load() == 1);
  const int expansions[] = {1, 2, 4, 10};
  for (int i = 0; i < 4; ++i) XsCheckSet(w, kSetupExpansion1 + i, s.SnapTimeExpand.load() == expansions[i]);
  ApplyRecordSetupGroups(s.MenuRecordMode.load());
}

int RecordSetupWindowHandler(XsWindow* w, int event, int* d) {
  switch (event) {
    case kXsClose: HideToolWindow(kToolRecordSetup); break;
    case kXsButton: OnButton(w, d[0]); break;
    case kXsEditChanged: OnEditChanged(w, d[0]); break;
  }
  return 0;
}

}  // namespace hv
