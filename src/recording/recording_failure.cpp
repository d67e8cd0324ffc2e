#include "recording/recording_failure.h"

#include <cstring>

#include "core/file_ops.h"
#include "core/runtime.h"
#include "core/status_print.h"
#include "recording/record_paths.h"
#include "recording/recorder_texts.h"
#include "recording/recording_start.h"
#include "settings/settings.h"

namespace hv {

std::string RecordingFailedText(const std::string& what, int systemError, const std::string& leftAs) {
  std::string text = what;
  if (systemError != 0) text += std::string(": ") + std::strerror(systemError);
  if (!leftAs.empty()) text += "; kept as " + FileNamePart(leftAs);
  return text;
}

void ReportRecordingFailed(const std::string& what, int systemError, const std::string& leftAs) {
  const std::string text = RecordingFailedText(what, systemError, leftAs);
  SetRecordStatusLine(("Status : Failed - " + text).c_str());
  DiagPrint("Recording failed: %s%s%s\n", Escaped(text).c_str(), leftAs.empty() ? "" : " in ",
            Escaped(FolderPart(leftAs)).c_str());
  const int timeStandard = g_settings.TimeStandard.load(std::memory_order_relaxed);
  AppendDailyLog("recording failed:", NameTime(RecordingStartTime(), timeStandard), text.c_str());
}

}  // namespace hv
