#include "ui/windows/tessagram_window.h"

#include <cstdio>
#include <vector>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/display_colours.h"
#include "display/display_shared.h"
#include "display/mouse_state.h"
#include "display/sonogram_image.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/main_window_controls.h"
#include "ui/windows/number_rule.h"
#include "ui/windows/tessagram_window_controls.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

constexpr int kWidth = 240, kHeight = 320;
const std::vector<uint32_t> s_background(size_t(kWidth) * kHeight, kButtonFacePixel);
int s_proposedWidth = kWidth, s_proposedHeight = kHeight;

void SetKiloHertzText(XsWindow* w, int id, float hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%3.1f", double(hz) / 1000.0);
  XsControlSetText(w, id, text);
}

struct MarkerControls {
  int index;  // 0 marker 1, 1 marker 2
  int check, edit;
  std::atomic<bool>* enable;
  std::atomic<float>* frequency;
};

MarkerControls Marker(int index) {
  if (index == 0)
    return {0, kTessagramMarker1Check, kTessagramMarker1Edit, &g_settings.SonoMarker1Enable,
            &g_settings.SonoMarker1Frequency};
  return {1, kTessagramMarker2Check, kTessagramMarker2Edit, &g_settings.SonoMarker2Enable,
          &g_settings.SonoMarker2Frequency};
}

void ToggleMarker(XsWindow* w, const MarkerControls& m) {
  bool on = !m.enable->load(std::memory_order_relaxed);
  m.enable->store(on, std::memory_order_relaxed);
  XsCheckSet(w, m.check, on);
  LockGuard lock(g_displayLock);
  if (on)
    g_spectrogram.setMarker(m.index, m.frequency->load(std::memory_order_relaxed));
  else
    g_spectrogram.hideMarker(m.index);
  g_spectrogram.present();
}

void MarkerEdited(XsWindow* w, const MarkerControls& m);

void StepMarker(XsWindow* w, const MarkerControls& m, float stepHz) {
  float hz = m.frequency->load(std::memory_order_relaxed) + stepHz;
  m.frequency->store(hz, std::memory_order_relaxed);
  SetKiloHertzText(w, m.edit, hz);
  // Setting a text raises no edit-change event in the toolkit: take the new text as typed.
  MarkerEdited(w, m);
}

void MarkerEdited(XsWindow* w, const MarkerControls& m) {
  char text[128];
  double kHz = 0.0;
  if (!XsControlGetText(w, m.edit, text, sizeof text) || !ParseMarkerNumber(text, &kHz) || !(kHz > 0.0) ||
      !(kHz < 150.0)) {
    XsControlDisable(w, m.check);
    return;
  }
  m.frequency->store(float(kHz * 1000.0), std::memory_order_relaxed);
  XsControlEnable(w, m.check);
  if (m.enable->load(std::memory_order_relaxed)) {
    LockGuard lock(g_displayLock);
    g_spectrogram.setMarker(m.index, float(kHz * 1000.0));
    g_spectrogram.present();
  }
}

const char* DetailText(int position) {
  static const char* const kTexts[7] = {"Detail = Low",  "Detail = Low+",  "Detail = Med-", "Detail = Med",
                                        "Detail = Med+", "Detail = High-", "Detail = High"};
  return position >= 1 && position <= 7 ? kTexts[position - 1] : "Detail";
}

const char* DivisionsText(int position) {
  static const char* const kTexts[4] = {"Divisions = 1", "Divisions = 2", "Divisions = 4", "Divisions = 8"};
  return position >= 1 && position <= 4 ? kTexts[position - 1] : "Divisions";
}

// Stores a slider position in its setting; false for an unknown slider.
bool StoreSlider(int id, int position) {
  switch (id) {
    case kTessagramThresholdSlider:
      g_settings.SonoThreshold.store(float(position), std::memory_order_relaxed);
      return true;
    case kTessagramDetailSlider: g_settings.SonoDetail.store(position, std::memory_order_relaxed); return true;
    case kTessagramDivisionsSlider: g_settings.SonoDivisions.store(position, std::memory_order_relaxed); return true;
    default: return false;
  }
}

void SliderMoved(XsWindow* w, int id, int position) {
  if (id != kTessagramThresholdSlider && id != kTessagramDetailSlider && id != kTessagramDivisionsSlider) {
    DiagPrint("Unknown Slider ID %d\n", id);
    return;
  }
  if (position < 1) return;
  StoreSlider(id, position);
  if (id == kTessagramThresholdSlider) {
    char text[32];
    std::snprintf(text, sizeof text, "Threshold = %2d", position);
    XsControlSetText(w, kTessagramThresholdText, text);
  } else if (id == kTessagramDetailSlider) {
    XsControlSetText(w, kTessagramDetailText, DetailText(position));
  } else {
    XsControlSetText(w, kTessagramDivisionsText, DivisionsText(position));
  }
}

void SliderReleased(XsWindow* w, int id) {
  if (id != kTessagramThresholdSlider && id != kTessagramDetailSlider && id != kTessagramDivisionsSlider) {
    DiagPrint("Unknown Slider ID %d\n", id);
    return;
  }
  int position = XsSliderGetPosition(w, id);
  if (position < 0) DiagPrint("XsSliderGetPosition failed\n");
  if (position > 0) StoreSlider(id, position);
  if (id == kTessagramThresholdSlider) XsControlSetText(w, kTessagramThresholdText, "Threshold");
  if (id == kTessagramDetailSlider) XsControlSetText(w, kTessagramDetailText, "Detail");
  if (id == kTessagramDivisionsSlider) XsControlSetText(w, kTessagramDivisionsText, "Divisions");
}

void ButtonClicked(XsWindow* w, int id) {
  switch (id) {
    case kTessagramPause: {
      bool paused = !g_spectrogramPaused.load(std::memory_order_relaxed);
      g_spectrogramPaused.store(paused, std::memory_order_relaxed);
      XsControlSetText(w, kTessagramPause, paused ? "Continue" : "Pause");
      break;
    }
    case kTessagramMarker1Check: ToggleMarker(w, Marker(0)); break;
    case kTessagramMarker2Check: ToggleMarker(w, Marker(1)); break;
    case kTessagramMarker1Up: StepMarker(w, Marker(0), 1000.0f); break;
    case kTessagramMarker1Down: StepMarker(w, Marker(0), -1000.0f); break;
    case kTessagramMarker2Up: StepMarker(w, Marker(1), 1000.0f); break;
    case kTessagramMarker2Down: StepMarker(w, Marker(1), -1000.0f); break;
    default: DiagPrint("Unknown sc button %d\n", id); break;
  }
}

}  // namespace

bool ParseMarkerNumber(const char* text, double* value) {
  float number = 0;
  if (!text || !ParseNumberRule(text, &number)) return false;
  *value = number;
  return true;
}

// Runs on the main thread.
int TessagramHandler(XsWindow* w, int event, int* data) {
  switch (event) {
    case kXsPaint: {
      LockGuard lock(g_displayLock);
      XsDrawImage(w, s_background.data(), kWidth, kHeight, 0, 0, -1, -1, 0, 0, -1, -1);
      break;
    }
    case kXsSized: {
      LockGuard lock(g_displayLock);
      XsDrawImage(w, s_background.data(), kWidth, kHeight, 0, 0, data[0], data[1], 0, 0, -1, -1);
      break;
    }
    case kXsSizing:
      s_proposedWidth = data[0];
      s_proposedHeight = data[1];
      break;
    case kXsClose:
      XsWindowHide(w);
      XsMenuUncheck(g_mainWindow, kToolTessagram);
      break;
    case kXsMouseMove:
    case kXsLeftDown:
    case kXsDrag:
    case kXsLeftUp:
    case kXsRightUp:
      RecordMouseEvent(w, event, data[0], data[1]);
      break;
    case kXsButton:
      ButtonClicked(w, data[0]);
      break;
    case kXsEditChanged:
      if (data[0] == kTessagramMarker1Edit) MarkerEdited(w, Marker(0));
      if (data[0] == kTessagramMarker2Edit) MarkerEdited(w, Marker(1));
      break;
    case kXsSliderMoved:
      SliderMoved(w, data[0], data[1]);
      break;
    case kXsSliderReleased:
      SliderReleased(w, data[0]);
      break;
    default:
      break;
  }
  return 0;
}

// Runs on the main thread.
XsWindow* CreateTessagramWindow() {
  XsWindow* w = CreateToolWindow(TessagramHandler, kXsResizableTool, "Tessagram", kWidth, kHeight, 256, 256);
  if (!w) return nullptr;
  g_tessagramWindow = w;

  AddControl(w, {kTessagramPause, kXsButtonControl, 56, 16, 128, 24, g_spectrogramPaused ? "Continue" : "Pause"});
  AddControl(w, {kTessagramThresholdText, kXsStatic, 16, 64, 80, 32, "Threshold"});
  AddControl(w, {kTessagramThresholdSlider, kXsSlider, 96, 64, 128, 32, nullptr});
  XsSliderSetRange(w, kTessagramThresholdSlider, 100);
  XsSliderSetPosition(w, kTessagramThresholdSlider, int(g_settings.SonoThreshold.load(std::memory_order_relaxed)));
  AddControl(w, {kTessagramDetailText, kXsStatic, 16, 104, 80, 32, "Detail"});
  AddControl(w, {kTessagramDetailSlider, kXsSlider, 96, 104, 96, 32, nullptr});
  XsSliderSetRange(w, kTessagramDetailSlider, 7);
  XsSliderSetPosition(w, kTessagramDetailSlider, g_settings.SonoDetail.load(std::memory_order_relaxed));
  AddControl(w, {kTessagramDivisionsText, kXsStatic, 16, 144, 80, 32, "Divisions"});
  AddControl(w, {kTessagramDivisionsSlider, kXsSlider, 96, 144, 64, 32, nullptr});
  XsSliderSetRange(w, kTessagramDivisionsSlider, 4);
  XsSliderSetPosition(w, kTessagramDivisionsSlider, g_settings.SonoDivisions.load(std::memory_order_relaxed));

  for (int index = 0; index < 2; ++index) {
    MarkerControls m = Marker(index);
    int top = index == 0 ? 208 : 256;
    AddControl(w, {m.check, kXsCheckBox, 16, top, 64, 24, index == 0 ? "Marker 1" : "Marker 2"});
    XsCheckSet(w, m.check, m.enable->load(std::memory_order_relaxed));
    AddControl(w, {m.edit, kXsEdit, 96, top, 40, 24, nullptr});
    SetKiloHertzText(w, m.edit, m.frequency->load(std::memory_order_relaxed));
    AddControl(w,
               {index == 0 ? kTessagramMarker1Down : kTessagramMarker2Down, kXsButtonControl, 152, top, 32, 24, "<<"});
    AddControl(w, {index == 0 ? kTessagramMarker1Up : kTessagramMarker2Up, kXsButtonControl, 192, top, 32, 24, ">>"});
  }
  return w;
}

}  // namespace hv
