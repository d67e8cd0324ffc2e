#include "recording/recorder_texts.h"

#include "formats/attribute_record.h"
#include "model/station_model.h"

namespace hv {

SharedText g_playbackDeviceText;
std::atomic<float> g_playbackStreamRate{250000.0f};
std::atomic<int> g_playbackStreamChannels{1};

std::string RecorderDeviceText() {
  if (g_playbackActive.load(std::memory_order_relaxed)) return CutText(g_playbackDeviceText.Get(), 127);
  // The receiver's product text: the acquisition thread sets it before the
  // receiver's stream starts.
  return CutText(g_productText.Get(), 127);
}

std::string RecorderCommentText() { return CutText(ModelText(ModelItem::kRecordComment), 255); }

bool RecorderGpsTexts(std::string* latitude, std::string* longitude, std::string* altitude) {
  if (ModelText(ModelItem::kGpsFix) == "GPS Fix: none") return false;
  *latitude = CutText(ModelText(ModelItem::kGpsLatitude), 31);
  *longitude = CutText(ModelText(ModelItem::kGpsLongitude), 31);
  *altitude = CutText(ModelText(ModelItem::kGpsAltitude), 31);
  return true;
}

void SetRecordStatusLine(const char* text) { SetModelText(ModelItem::kRecordStatus, text); }

void SetRecordFileLine(const std::string& text) { SetModelText(ModelItem::kRecordFile, text); }

}  // namespace hv
