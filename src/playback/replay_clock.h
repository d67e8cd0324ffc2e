// The clock that paces a replay: seconds elapsed since the replay started, read
// from the monotonic clock (so a change of the system time or a month end never
// disturbs the pace), with a hold that lets a pause resume where it stopped.
#pragma once

#include <atomic>
#include <chrono>

namespace hv {

// How many replay seconds pass per real second. 1 in the station; tests raise it
// to play whole files in a fraction of their duration.
extern std::atomic<double> g_replayClockSpeed;

class ReplayClock {
 public:
  // Elapsed time becomes 0 now; the speed is read here.
  void Start();
  // Replay seconds since Start.
  double Elapsed() const;
  // Moves the start so that Elapsed() equals `seconds` now: a paused replay
  // calls it each pass and resumes without rushing to catch up.
  void HoldAt(double seconds);

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point start_ = Clock::now();
  double speed_ = 1.0;
};

}  // namespace hv
