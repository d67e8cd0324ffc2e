// Runtime services every thread uses: threads with priorities, mutex records,
// sleeping, zero-filled allocation, the diagnostic print and the auto-reset event.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace hv {

// Thread priorities on the classic scale: -1 below normal to 15 time-critical.
enum ThreadPriority : int {
  kPriorityBelowNormal = -1,
  kPriorityNormal = 0,
  kPriorityAboveNormal = 1,
  kPriorityTimeCritical = 15,
};

using ThreadRoutine = int (*)(void* argument);

struct ThreadRecord {
  std::thread thread;
  ThreadRoutine routine = nullptr;
  void* argument = nullptr;
  std::string name;
  int priority = 0;
  std::atomic<int> exitCode{0};
  std::atomic<bool> finished{false};
};

// Starts `routine` on a new thread named `name` (at most 15 characters are shown
// by the system). Time-critical and above-normal threads ask for real-time
// scheduling; where the system refuses, they run at normal priority and one
// diagnostic line says so. Returns none when the thread cannot be created.
ThreadRecord* StartThread(ThreadRoutine routine, int priority, const char* name,
                          void* argument = nullptr);
// Waits for the thread to end. None returns at once. The record stays valid.
bool JoinThread(ThreadRecord* record);
// Joins (when needed) and frees the record.
void ReleaseThread(ThreadRecord* record);

void YieldThread();
// Sleeps seconds x 1000 ms, truncated toward zero; below 1 ms it only yields.
void SleepSeconds(double seconds);
// Sleeps `seconds`, returning early (false) when the run flag falls (woken by
// its fall, not by polling). Long pauses of worker threads use it so shutdown
// never waits.
bool SleepWhileRunning(double seconds);

struct MutexRecord {
  std::mutex mutex;
  std::atomic<int> references{1};
};
MutexRecord* CreateMutexRecord();
bool Lock(MutexRecord* m);
bool Unlock(MutexRecord* m);
bool DestroyMutexRecord(MutexRecord* m);

// RAII guard over a mutex record; `held()` is false when the lock failed.
class LockGuard {
 public:
  explicit LockGuard(MutexRecord* m) : m_(m), held_(Lock(m)) {}
  ~LockGuard() {
    if (held_) Unlock(m_);
  }
  bool held() const { return held_; }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  MutexRecord* m_;
  bool held_;
};

// Zero-filled block or none.
void* Allocate(size_t bytes);
bool Release(void* block);

// printf-style diagnostic line to standard error (the caller ends it with "\n").
void DiagPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// An unnamed auto-reset event, initially not signalled.
class AutoResetEvent {
 public:
  void Signal();
  // Waits at most `milliseconds`; true when the event fired (and is now reset).
  bool Wait(int milliseconds);
  void Reset();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

}  // namespace hv
