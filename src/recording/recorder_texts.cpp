#include "recording/recorder_texts.h"

#include <mutex>

#include "core/status_print.h"
#include "recording/attribute_record.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/window_set.h"

namespace hv {

SharedText g_playbackDeviceText;
std::atomic<float> g_playbackStreamRate{250000.0f};
std::atomic<int> g_playbackStreamChannels{1};

namespace {

constexpr int kDeviceField = 313;
constexpr int kCommentField = 388, kStatusLine = 389, kFileLine = 390;
constexpr int kLatitude = 482, kLongitude = 484, kAltitude = 486, kFix = 487;

bool HasControl(XsWindow* w, int id) {
  char probe[2];
  return w && XsControlGetText(w, id, probe, sizeof probe);
}

void Ensure(XsWindow* w, int id, int kind, const char* text) {
  if (!w || HasControl(w, id)) return;
  XsControlCreate(w, id, kind);
  XsControlSetText(w, id, text);
}

}  // namespace

void EnsureRecorderControls() {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  Ensure(g_mainWindow, kDeviceField, kXsStatic, "");
  Ensure(g_recordSetupWindow, kCommentField, kXsMultiEdit, "<no comment>");
  Ensure(g_recordSetupWindow, kStatusLine, kXsStatic, "Status : Inactive");
  Ensure(g_recordSetupWindow, kFileLine, kXsStatic, "");
  Ensure(g_gpsStatusWindow, kLatitude, kXsEdit, "0.000000");
  Ensure(g_gpsStatusWindow, kLongitude, kXsEdit, "0.000000");
  Ensure(g_gpsStatusWindow, kAltitude, kXsEdit, "0.000000");
  Ensure(g_gpsStatusWindow, kFix, kXsStatic, "GPS Fix: none");
}

std::string RecorderDeviceText() {
  if (g_playbackActive.load(std::memory_order_relaxed)) return CutText(g_playbackDeviceText.Get(), 127);
  // The receiver's product text, which the main window's device field shows:
  // the acquisition thread sets it before the receiver's stream starts, while
  // the field follows only when the interface thread gets to it.
  return CutText(g_productText.Get(), 127);
}

std::string RecorderCommentText() { return CutText(XsControlText(g_recordSetupWindow, kCommentField), 255); }

bool RecorderGpsTexts(std::string* latitude, std::string* longitude, std::string* altitude) {
  XsWindow* w = g_gpsStatusWindow;
  if (!HasControl(w, kFix) || XsControlText(w, kFix) == "GPS Fix: none") return false;
  *latitude = CutText(XsControlText(w, kLatitude), 31);
  *longitude = CutText(XsControlText(w, kLongitude), 31);
  *altitude = CutText(XsControlText(w, kAltitude), 31);
  return true;
}

void SetRecordStatusLine(const char* text) {
  XsControlSetText(g_recordSetupWindow, kStatusLine, text);
  StatusPrint("Record %s", text);
}

void SetRecordFileLine(const std::string& text) {
  XsControlSetText(g_recordSetupWindow, kFileLine, text.c_str());
  StatusPrint("Record file : %s", text.c_str());
}

}  // namespace hv
