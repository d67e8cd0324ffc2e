// Calls in Auto Snap snapshots: the call detector fed with a snapshot's
// samples as they are written (so finishing a snapshot costs no more than the
// detector's last frames), its count and median peak frequency for the
// snapshot's GUANO and daily-log lines, and the tally of calls and passes per
// hour that the daily log receives when the hour changes.
//
// GUANO fields added to a snapshot: "Halvane|Calls" (the number of calls)
// and, when there are any, "Halvane|Call Peak" (the median of the calls'
// peak frequencies in kHz, one decimal).
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "calls/call_detector.h"
#include "core/station_state.h"

namespace hv {

struct SnapshotCallCount {
  std::vector<CallMeasure> calls;  // times from the snapshot's first sample
  float medianPeakKHz = 0;         // 0 without calls
  std::string GuanoLines() const;
  // "<name> 12 calls, peak 45.3 kHz" ("<name> 0 calls" without calls).
  std::string LogDetail(const std::string& name) const;
};

class SnapshotCalls {
 public:
  // A new snapshot of the real rate `realRate` (Hz) begins.
  void Start(double realRate, float levelOffset);
  void Push(const float* samples, size_t count);
  // The snapshot has ended: its calls.
  SnapshotCallCount Finish();

 private:
  std::unique_ptr<CallDetector> detector_;
};

// Calls and passes per hour. Hours are calendar hours of the time standard
// the names use. A pass is a run of calls whose gaps (end of one call to the
// start of the next) are under one second, across snapshots too; a pass that
// runs on over the end of an hour counts in both hours. Times are seconds
// since the epoch (UTC).
class HourlyCallTally {
 public:
  struct Line {
    std::tm hour{};  // the hour's start
    int calls = 0;
    int passes = 0;
    std::string Detail() const;  // "34 calls, 5 passes"
  };
  // Sets the time standard (0 UTC, 1 local with `biasMinutes`) for the hours.
  void SetTimeStandard(int timeStandard, int biasMinutes);
  // The clock stands at `now`: an earlier hour's tally is finished into *done
  // (true), and the hour of `now` is tallied from here on. A clock set back
  // keeps the hour in progress.
  bool Observe(double now, Line* done);
  // A call: may finish the hour before it first (true, into *done).
  bool AddCall(double startS, double endS, Line* done);
  // Recording stops: the hour so far into *done (true when one was open).
  bool Close(Line* done);

 private:
  int64_t HourKey(double t, std::tm* hour) const;
  bool open_ = false;
  int64_t key_ = 0;
  Line line_;
  double lastEnd_ = 0;
  bool anyCall_ = false;
  int timeStandard_ = 0;
  int biasMinutes_ = 0;
};

// Seconds since the epoch of a stream time.
inline double StreamSeconds(const StreamTime& t) { return double(t.utcSeconds) + t.milliseconds / 1000.0; }

}  // namespace hv
