#include "core/lifecycle.h"

#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

namespace hv {

namespace {
std::atomic<bool> s_quit{false};  // lock-free, so a signal handler may set it
std::mutex s_prepLock;
std::vector<ShutdownPreparation> s_preparations;

std::mutex s_wakerLock;
std::vector<QuitWaker> s_wakers;          // guarded by s_wakerLock
sem_t s_quitPosted;                       // posted by RequestQuit once the relay runs
std::atomic<bool> s_relayRunning{false};  // lock-free: read in signal handlers

// Runs on the quit relay thread for the rest of the process: one round per
// quit request, blocked (no wake-ups) in between.
void RelayQuitRequests() {
  pthread_setname_np(pthread_self(), "quit-relay");
  for (;;) {
    while (sem_wait(&s_quitPosted) != 0 && errno == EINTR) {
    }
    std::vector<QuitWaker> wakers;
    {
      std::lock_guard<std::mutex> lock(s_wakerLock);
      wakers = s_wakers;
    }
    for (QuitWaker wake : wakers) wake();
  }
}
}  // namespace

// Async-signal-safe: an atomic store, an atomic load and sem_post.
void RequestQuit() {
  s_quit.store(true, std::memory_order_relaxed);
  if (s_relayRunning.load(std::memory_order_acquire)) sem_post(&s_quitPosted);
}

void AddQuitWaker(QuitWaker wake) {
  std::lock_guard<std::mutex> lock(s_wakerLock);
  for (QuitWaker w : s_wakers)
    if (w == wake) return;
  s_wakers.push_back(wake);
  if (!s_relayRunning.load(std::memory_order_relaxed)) {
    sem_init(&s_quitPosted, 0, 0);
    std::thread(RelayQuitRequests).detach();
    s_relayRunning.store(true, std::memory_order_release);
  }
}
bool QuitRequested() { return s_quit.load(std::memory_order_relaxed); }
void ClearQuitRequest() { s_quit.store(false, std::memory_order_relaxed); }

void AddShutdownPreparation(ShutdownPreparation fn) {
  std::lock_guard<std::mutex> lock(s_prepLock);
  for (auto f : s_preparations)
    if (f == fn) return;
  s_preparations.push_back(fn);
}

void RunShutdownPreparations() {
  std::vector<ShutdownPreparation> copy;
  {
    std::lock_guard<std::mutex> lock(s_prepLock);
    copy = s_preparations;
  }
  for (auto fn : copy) fn();
}

}  // namespace hv
