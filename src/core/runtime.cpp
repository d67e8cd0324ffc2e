#include "core/runtime.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <algorithm>
#include <vector>

#include "core/station_state.h"

namespace hv {

namespace {

// Runs on the new thread: applies the name and priority, then calls the routine.
void ThreadEntry(ThreadRecord* record) {
  pthread_setname_np(pthread_self(), record->name.substr(0, 15).c_str());
  if (record->priority >= kPriorityAboveNormal) {
    sched_param param{};
    param.sched_priority = record->priority >= kPriorityTimeCritical ? 20 : 10;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
      static std::atomic<bool> told{false};
      if (!told.exchange(true))
        DiagPrint("Real-time priority not granted; threads run at normal priority\n");
    }
  } else if (record->priority <= kPriorityBelowNormal) {
    // A nice value applies to this thread only on Linux.
    (void)!nice(2);
  }
  record->exitCode.store(record->routine(record->argument), std::memory_order_relaxed);
  record->finished.store(true, std::memory_order_release);
}

}  // namespace

ThreadRecord* StartThread(ThreadRoutine routine, int priority, const char* name, void* argument) {
  auto* record = new ThreadRecord;
  record->routine = routine;
  record->argument = argument;
  record->name = name ? name : "worker";
  record->priority = priority;
  try {
    record->thread = std::thread(ThreadEntry, record);
  } catch (const std::exception& e) {
    DiagPrint("Failed to start thread %s: %s\n", record->name.c_str(), e.what());
    delete record;
    return nullptr;
  }
  return record;
}

bool JoinThread(ThreadRecord* record) {
  if (!record) return true;
  if (record->thread.joinable()) record->thread.join();
  return true;
}

void ReleaseThread(ThreadRecord* record) {
  JoinThread(record);
  delete record;
}

void YieldThread() { std::this_thread::yield(); }

void SleepSeconds(double seconds) {
  auto ms = static_cast<long long>(seconds * 1000.0);
  if (ms <= 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SleepWhileRunning(double seconds) {
  using clock = std::chrono::steady_clock;
  auto end = clock::now() + std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(seconds));
  while (IsRunning()) {
    auto left = end - clock::now();
    if (left <= clock::duration::zero()) return true;
    // Ends early on any station change; the loop sleeps on unless the run flag fell.
    WaitForStationChange(StationChangeCount(), std::chrono::duration<double>(left).count());
  }
  return false;
}

MutexRecord* CreateMutexRecord() { return new MutexRecord; }

bool Lock(MutexRecord* m) {
  if (!m) return false;
  m->mutex.lock();
  return true;
}

bool Unlock(MutexRecord* m) {
  if (!m) return false;
  m->mutex.unlock();
  return true;
}

bool DestroyMutexRecord(MutexRecord* m) {
  if (!m) return false;
  if (m->references.fetch_sub(1) == 1) delete m;
  return true;
}

void* Allocate(size_t bytes) { return std::calloc(1, bytes ? bytes : 1); }

bool Release(void* block) {
  std::free(block);
  return true;
}

void DiagPrint(const char* format, ...) {
  std::vector<char> buffer(64);
  for (;;) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (n < 0) return;
    if (static_cast<size_t>(n) < buffer.size()) break;
    buffer.resize(buffer.size() * 2);
  }
  std::fputs(buffer.data(), stderr);
  std::fflush(stderr);
}

void AutoResetEvent::Signal() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_one();
}

bool AutoResetEvent::Wait(int milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return signalled_; }))
    return false;
  signalled_ = false;
  return true;
}

void AutoResetEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

}  // namespace hv
