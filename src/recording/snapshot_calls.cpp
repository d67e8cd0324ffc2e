#include "recording/snapshot_calls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "formats/guano_writer.h"
#include "recording/record_paths.h"

namespace hv {

std::string SnapshotCallCount::GuanoLines() const {
  std::string lines = GuanoField("Halvane|Calls", std::to_string(calls.size()));
  if (!calls.empty()) {
    char peak[32];
    std::snprintf(peak, sizeof peak, "%.1f", medianPeakKHz);
    lines += GuanoField("Halvane|Call Peak", peak);
  }
  return lines;
}

std::string SnapshotCallCount::LogDetail(const std::string& name) const {
  char text[96];
  if (calls.empty()) std::snprintf(text, sizeof text, " 0 calls");
  else std::snprintf(text, sizeof text, " %zu call%s, peak %.1f kHz", calls.size(), calls.size() == 1 ? "" : "s",
                     medianPeakKHz);
  return name + text;
}

void SnapshotCalls::Start(double realRate, float levelOffset) {
  CallDetectorSettings settings;
  settings.levelOffset = levelOffset;
  detector_ = std::make_unique<CallDetector>(std::max(8000.0, realRate), settings);
}

void SnapshotCalls::Push(const float* samples, size_t count) {
  if (detector_) detector_->Push(samples, count);
}

SnapshotCallCount SnapshotCalls::Finish() {
  SnapshotCallCount out;
  if (!detector_) return out;
  detector_->Finish();
  out.calls = detector_->Take();
  detector_.reset();
  if (!out.calls.empty()) {
    std::vector<float> peaks;
    for (const CallMeasure& c : out.calls) peaks.push_back(c.fPeakHz);
    std::sort(peaks.begin(), peaks.end());
    out.medianPeakKHz = peaks[peaks.size() / 2] / 1000.0f;
  }
  return out;
}

std::string HourlyCallTally::Line::Detail() const {
  char text[64];
  std::snprintf(text, sizeof text, "%d call%s, %d pass%s", calls, calls == 1 ? "" : "s", passes,
                passes == 1 ? "" : "es");
  return text;
}

void HourlyCallTally::SetTimeStandard(int timeStandard, int biasMinutes) {
  timeStandard_ = timeStandard;
  biasMinutes_ = biasMinutes;
}

int64_t HourlyCallTally::HourKey(double t, std::tm* hour) const {
  StreamTime s;
  s.utcSeconds = std::time_t(std::floor(t));
  s.biasMinutes = biasMinutes_;
  *hour = NameTime(s, timeStandard_);
  hour->tm_min = hour->tm_sec = 0;
  return (int64_t(hour->tm_year) * 366 + hour->tm_yday) * 24 + hour->tm_hour;
}

bool HourlyCallTally::Observe(double now, Line* done) {
  std::tm hour;
  const int64_t key = HourKey(now, &hour);
  if (open_ && key <= key_) return false;
  const bool finished = open_;
  if (finished) *done = line_;
  open_ = true;
  key_ = key;
  line_ = Line();
  line_.hour = hour;
  return finished;
}

bool HourlyCallTally::AddCall(double startS, double endS, Line* done) {
  const bool finished = Observe(startS, done);
  // The first call of an hour is the start of a pass there, or a pass running on.
  if (line_.calls == 0 || !anyCall_ || startS - lastEnd_ >= 1.0) ++line_.passes;
  ++line_.calls;
  lastEnd_ = anyCall_ ? std::max(lastEnd_, endS) : endS;
  anyCall_ = true;
  return finished;
}

bool HourlyCallTally::Close(Line* done) {
  if (!open_) return false;
  *done = line_;
  open_ = false;
  return true;
}

}  // namespace hv
