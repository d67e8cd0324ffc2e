// Station changes: how an idle thread sleeps until something it cares about
// changes, instead of waking on a timer to look.
//
// A change is the run flag falling, a switch changing (Record, power saver,
// playback command, ...) or a setting a worker reads while idle. Whoever makes
// the change calls NotifyStationChange (the switches below do it themselves on
// every real change). That bumps one process-wide count, wakes every thread in
// WaitForStationChange and ends the wait of every conduit reader, so each
// thread looks again at what it reads. Changes are rare (a user's click, a
// timer's program, shutdown); a wake of every idle thread per change costs
// nothing worth saving, and no thread needs to know who reads what.
//
// Lost wake-ups: a thread reads the count before it looks at its state, and
// passes it to WaitForStationChange, which returns at once when the count moved
// in between. Conduit readers get the same from the conduit (see WaitReadable).
#pragma once

#include <atomic>
#include <cstdint>

namespace hv {

// The number of changes so far.
uint64_t StationChangeCount();
// Counts a change and wakes every waiting thread (safe from any thread, not
// from a signal handler).
void NotifyStationChange();
// Waits until the change count differs from `seen`, the run flag falls, or
// `seconds` pass (a safety bound, not a polling period). True when the count
// moved or the run flag is down.
bool WaitForStationChange(uint64_t seen, double seconds);

// A shared switch whose every real change is a station change. Reads are those
// of std::atomic (and it binds to a `const std::atomic<T>&`); store, exchange and
// assignment notify when the value really changes.
template <typename T>
class NotifyingAtomic : public std::atomic<T> {
  using Base = std::atomic<T>;

 public:
  constexpr NotifyingAtomic(T initial) noexcept : Base(initial) {}
  NotifyingAtomic(const NotifyingAtomic&) = delete;
  NotifyingAtomic& operator=(const NotifyingAtomic&) = delete;

  void store(T value, std::memory_order order = std::memory_order_seq_cst) noexcept { exchange(value, order); }
  T exchange(T value, std::memory_order order = std::memory_order_seq_cst) noexcept {
    T old = Base::exchange(value, order);
    if (!(old == value)) NotifyStationChange();
    return old;
  }
  T operator=(T value) noexcept {
    store(value);
    return value;
  }
};

}  // namespace hv
