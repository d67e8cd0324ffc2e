// When to open a receiver again after its connection ended, and when to say so.
//
// A connection that delivered samples for at least kHealthySeconds is healthy.
// The loss of a healthy connection is a glitch: the receiver is opened again at
// once. Every further connection lost before it became healthy continues a
// streak of drops, and the pause before the next open doubles from
// kFirstPauseSeconds up to kLongestPauseSeconds; a healthy connection ends the
// streak. So a receiver that accepts and hangs up at once, or connects and then
// sends nothing, costs a handful of connections a minute instead of a busy loop.
// Times are seconds on any steady clock, passed in so tests can drive it.
// Used on the acquisition thread only.
#pragma once

namespace hv {

class ReconnectBackoff {
 public:
  static constexpr double kHealthySeconds = 1.0;
  static constexpr double kFirstPauseSeconds = 1.0;
  static constexpr double kLongestPauseSeconds = 30.0;

  // A connection was opened at `now`.
  void Opened(double now) {
    openedAt_ = now;
    open_ = true;
    healthy_ = delivered_ = false;
  }
  // It delivered samples at `now`. True exactly once per connection: when it
  // becomes healthy while a streak is on (the streak ends; drops() still holds
  // its length until the next loss).
  bool Delivered(double now) {
    delivered_ = true;
    if (!open_ || healthy_ || now - openedAt_ < kHealthySeconds) return false;
    healthy_ = true;
    bool endsStreak = drops_ > 0;
    drops_ = 0;
    endedStreak_ = endsStreak ? lastDrops_ : 0;
    return endsStreak;
  }
  // It was lost at `now`: the time from which it may be opened again.
  double Lost(double now) {
    if (!open_) return now;
    open_ = false;
    if (healthy_) drops_ = 0;
    healthy_ = false;
    lastDrops_ = ++drops_;
    return now + PauseAfter(drops_);
  }
  // It was closed on purpose (power save, another device, the end of the run),
  // or a new device is wanted: no streak goes on.
  void Reset() {
    open_ = healthy_ = delivered_ = false;
    drops_ = lastDrops_ = 0;
  }

  // Connections lost in a row without becoming healthy (0: no streak).
  int drops() const { return drops_; }
  bool InStreak() const { return drops_ > 0; }
  // Whether the current connection became healthy.
  bool Healthy() const { return healthy_; }
  // Whether the current connection delivered any samples.
  bool HasDelivered() const { return delivered_; }
  // The length of the streak the last Delivered call ended.
  int EndedStreak() const { return endedStreak_; }

  // The pause before the next open after the `drops`-th loss in a row:
  // none after the first, then 1 s, 2 s, 4 s ... up to 30 s.
  static double PauseAfter(int drops) {
    if (drops <= 1) return 0;
    double pause = kFirstPauseSeconds;
    for (int i = 2; i < drops && pause < kLongestPauseSeconds; ++i) pause *= 2;
    return pause < kLongestPauseSeconds ? pause : kLongestPauseSeconds;
  }

 private:
  double openedAt_ = 0;
  bool open_ = false;
  bool healthy_ = false;
  bool delivered_ = false;
  int drops_ = 0;
  int lastDrops_ = 0;
  int endedStreak_ = 0;
};

}  // namespace hv
