#include "playback/replay_clock.h"

namespace hv {

std::atomic<double> g_replayClockSpeed{1.0};

void ReplayClock::Start() {
  double speed = g_replayClockSpeed.load(std::memory_order_relaxed);
  speed_ = speed > 0 ? speed : 1.0;
  start_ = Clock::now();
}

double ReplayClock::Elapsed() const {
  return std::chrono::duration<double>(Clock::now() - start_).count() * speed_;
}

void ReplayClock::HoldAt(double seconds) {
  start_ = Clock::now() - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds / speed_));
}

}  // namespace hv
