#include "core/lifecycle.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace hv {

namespace {
std::atomic<bool> s_quit{false};  // lock-free, so a signal handler may set it
std::mutex s_prepLock;
std::vector<ShutdownPreparation> s_preparations;
}  // namespace

void RequestQuit() { s_quit.store(true, std::memory_order_relaxed); }
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
