#include "core/station_change.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/conduit.h"
#include "core/station_state.h"

namespace hv {

namespace {

std::mutex& ChangeLock() {
  static std::mutex* lock = new std::mutex;  // never destroyed: threads may outlive static destruction
  return *lock;
}
std::condition_variable& ChangeSignal() {
  static std::condition_variable* cv = new std::condition_variable;
  return *cv;
}
std::atomic<uint64_t> s_changes{0};

}  // namespace

uint64_t StationChangeCount() { return s_changes.load(std::memory_order_acquire); }

void NotifyStationChange() {
  {
    // Under the lock: a waiter that has just checked the count cannot miss it.
    std::lock_guard<std::mutex> lock(ChangeLock());
    s_changes.fetch_add(1, std::memory_order_acq_rel);
  }
  ChangeSignal().notify_all();
  Conduit::WakeAllReaders();
  // The sound refill thread waits on its event alone; shutdown must end that wait too.
  if (!IsRunning()) g_soundEvent.Signal();
}

bool WaitForStationChange(uint64_t seen, double seconds) {
  std::unique_lock<std::mutex> lock(ChangeLock());
  auto changed = [&] { return s_changes.load(std::memory_order_acquire) != seen || !IsRunning(); };
  return ChangeSignal().wait_for(lock, std::chrono::duration<double>(seconds), changed);
}

}  // namespace hv
