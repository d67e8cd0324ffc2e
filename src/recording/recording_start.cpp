#include "recording/recording_start.h"

#include <cmath>

#include "recording/recorder_texts.h"
#include "settings/settings.h"

namespace hv {

StreamTime RecordingStartTime() { return CurrentStreamTime(); }

AttributeInputs GatherAttributeInputs(int64_t headerRate, int64_t expansion, double realRate, const StreamTime& start) {
  AttributeInputs in;
  in.headerRate = headerRate;
  in.expansion = expansion;
  in.realRateKHz = static_cast<int64_t>(std::floor(realRate / 1000.0));
  in.device = RecorderDeviceText();
  in.compensated = g_settings.MenuPrefilter.load(std::memory_order_relaxed);
  in.start = start;
  in.withGps = !g_playbackActive.load(std::memory_order_relaxed) &&
               RecorderGpsTexts(&in.latitude, &in.longitude, &in.altitude);
  in.comment = RecorderCommentText();
  return in;
}

}  // namespace hv
