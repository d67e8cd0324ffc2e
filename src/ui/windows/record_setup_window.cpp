#include "ui/windows/record_setup_window.h"

#include <cstdio>
#include <string>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/sonogram_view.h"
#include "recording/recorder_texts.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/number_rule.h"
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
  int other = changed == 394 ? 396 : 394;
  auto labelOf = [](int field) { return field == 394 ? 393 : 395; };
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
  float low = (changed == 394 ? changedKHz : otherKHz) * 1000.0f;
  float high = (changed == 394 ? otherKHz : changedKHz) * 1000.0f;
  if (low > limit) low = limit;
  if (high > limit) high = limit;
  if (high <= low) {
    XsControlDisable(w, labelOf(changed));
    return;
  }
  XsControlEnable(w, 393);
  XsControlEnable(w, 395);
  g_settings.SnapFilterLowFreq.store(low, std::memory_order_relaxed);
  g_settings.SnapFilterHighFreq.store(high, std::memory_order_relaxed);
  LockGuard lock(g_displayLock);
  if (lock.held()) FullRepaintLocked();
}

void OnEditChanged(XsWindow* w, int id) {
  float value = 0;
  int mode = g_settings.MenuRecordMode.load(std::memory_order_relaxed);
  switch (id) {
    case 373:
      if (ReadNumber(w, 373, &value)) {
        g_settings.SnapAutoThreshold.store(value, std::memory_order_relaxed);
        mode == kModeAutoSnap ? XsControlEnable(w, 372) : XsControlDisable(w, 372);
      } else {
        XsControlDisable(w, 372);
      }
      break;
    case 381:
      if (ReadNumber(w, 381, &value) && value >= 0 && value * 1000.0f <= 600000.0f) {
        g_settings.UserDurationValid.store(true, std::memory_order_relaxed);
        int ms = static_cast<int>(value * 1000.0f);
        g_settings.UserDurationMS.store(ms, std::memory_order_relaxed);
        XsControlEnable(w, 380);
        if (XsCheckGet(w, 380) && ms != 0) g_settings.SnapDurationMS.store(ms, std::memory_order_relaxed);
      } else {
        XsControlDisable(w, 380);
        g_settings.UserDurationValid.store(false, std::memory_order_relaxed);
      }
      break;
    case 454:
      if (ReadNumber(w, 454, &value) && value >= 0 && value * 1000.0f <= 3600000.0f) {
        s_idleValid.store(true, std::memory_order_relaxed);
        g_settings.SnapIdleTimeoutMS.store(static_cast<int>(value * 1000.0f), std::memory_order_relaxed);
        XsControlEnable(w, 453);
      } else {
        XsControlDisable(w, 453);
        s_idleValid.store(false, std::memory_order_relaxed);
      }
      break;
    case 394:
    case 396:
      OnFilterRangeChanged(w, id);
      break;
  }
}

void OnButton(XsWindow* w, int id) {
  static const int kDurations[] = {100, 250, 500, 1000, 2500};
  static const int kExpansions[] = {1, 2, 4, 10};
  if (id == 371 || id == 372) {
    CheckOnly(w, 371, 372, id);
    g_settings.SnapAutoTrigger.store(id == 372, std::memory_order_relaxed);
  } else if (id >= 375 && id <= 379) {
    CheckOnly(w, 375, 380, id);
    g_settings.SnapDurationMS.store(kDurations[id - 375], std::memory_order_relaxed);
  } else if (id == 380) {
    CheckOnly(w, 375, 380, id);
    bool valid = g_settings.UserDurationValid.load(std::memory_order_relaxed);
    g_settings.SnapDurationMS.store(valid ? g_settings.UserDurationMS.load(std::memory_order_relaxed) : 5000,
                                    std::memory_order_relaxed);
  } else if (id >= 383 && id <= 386) {
    CheckOnly(w, 383, 386, id);
    g_settings.SnapTimeExpand.store(kExpansions[id - 383], std::memory_order_relaxed);
  } else if (id == 398 || id == 399) {
    CheckOnly(w, 398, 399, id);
    g_settings.PopFilterEnable.store(id == 399, std::memory_order_relaxed);
  } else if (id == 451 || id == 452) {
    CheckOnly(w, 451, 452, id);
    g_settings.OutputFileFormat.store(id == 452 ? 1 : 0, std::memory_order_relaxed);
  } else if (id == 453) {
    bool on = g_settings.SnapIdleTimeoutEnable.load(std::memory_order_relaxed);
    on = on ? false : s_idleValid.load(std::memory_order_relaxed);
    g_settings.SnapIdleTimeoutEnable.store(on, std::memory_order_relaxed);
    XsCheckSet(w, 453, on);
  } else if (id == 391) {
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
      {370, kXsStatic, 16, 16, 256, 24, "Snapshot Trigger Threshold:"},
      {371, kXsCheckBox, 48, 32, 196, 32, "Manual (Linked to Tessagram)"},
      {372, kXsCheckBox, 48, 64, 128, 32, "Automatic :  NF +  (dB)"},
      {373, kXsEdit, 180, 68, 32, 24, threshold.c_str()},
      {392, kXsStatic, 16, 104, 256, 24, "Trigger Filter Range (KHz):"},
      {393, kXsStatic, 48, 128, 32, 24, "Low:"},
      {394, kXsEdit, 80, 128, 40, 24, low.c_str()},
      {395, kXsStatic, 152, 128, 32, 24, "High:"},
      {396, kXsEdit, 184, 128, 40, 24, high.c_str()},
      {374, kXsStatic, 16, 168, 256, 24, "Snapshot Duration (seconds):"},
      {375, kXsCheckBox, 48, 184, 64, 32, "0.1"},
      {376, kXsCheckBox, 112, 184, 64, 32, "0.25"},
      {377, kXsCheckBox, 176, 184, 64, 32, "0.5"},
      {378, kXsCheckBox, 48, 216, 64, 32, "1.0"},
      {379, kXsCheckBox, 112, 216, 64, 32, "2.5"},
      {380, kXsCheckBox, 176, 216, 20, 32, ""},
      {381, kXsEdit, 196, 220, 40, 24, user.c_str()},
      {453, kXsCheckBox, 48, 264, 128, 32, "Idle Timeout (sec)"},
      {454, kXsEdit, 176, 268, 40, 24, idle.c_str()},
      {389, kXsStatic, 16, 316, 128, 32, "Status : Inactive"},
      {390, kXsStatic, 160, 316, 256, 32, ""},
      {397, kXsStatic, 288, 16, 256, 24, "Pop Filter:"},
      {398, kXsCheckBox, 320, 32, 32, 32, "Off"},
      {399, kXsCheckBox, 384, 32, 32, 32, "On"},
      {450, kXsStatic, 288, 64, 96, 24, "Output Format:"},
      {451, kXsCheckBox, 320, 80, 72, 32, "Standard"},
      {452, kXsCheckBox, 416, 80, 80, 32, "Compressed"},
      {382, kXsStatic, 288, 112, 256, 24, "Time Expansion Factor:"},
      {383, kXsCheckBox, 320, 128, 64, 32, "1"},
      {384, kXsCheckBox, 384, 128, 64, 32, "2"},
      {385, kXsCheckBox, 448, 128, 64, 32, "4"},
      {386, kXsCheckBox, 512, 128, 80, 32, "10"},
      {387, kXsStatic, 288, 160, 64, 24, "Comment:"},
      {388, kXsMultiEdit, 288, 184, 256, 112, "<no comment>"},
  };
  AddControls(w, layout);
  XsControlDisable(w, 389);
  XsControlDisable(w, 390);
  bool autoTrigger = s.SnapAutoTrigger.load();
  XsCheckSet(w, 371, !autoTrigger);
  XsCheckSet(w, 372, autoTrigger);
  int duration = s.SnapDurationMS.load();
  const int durations[] = {100, 250, 500, 1000, 2500};
  for (int i = 0; i < 5; ++i) XsCheckSet(w, 375 + i, duration == durations[i]);
  XsCheckSet(w, 380, duration == s.UserDurationMS.load());
  XsCheckSet(w, 453, s.SnapIdleTimeoutEnable.load());
  XsCheckSet(w, 398, !s.PopFilterEnable.load());
  XsCheckSet(w, 399, s.PopFilterEnable.load());
  XsCheckSet(w, 451, s.OutputFileFormat.load() == 0);
  XsCheckSet(w, 452, s.OutputFileFormat.load() == 1);
  const int expansions[] = {1, 2, 4, 10};
  for (int i = 0; i < 4; ++i) XsCheckSet(w, 383 + i, s.SnapTimeExpand.load() == expansions[i]);
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
