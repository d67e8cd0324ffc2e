#include "transfer/socket_watchdog.h"

#include <sys/socket.h>

#include "core/station_state.h"

namespace hv {

SocketWatchdog::~SocketWatchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SocketWatchdog::Arm(int controlFd, int dataFd, double seconds, bool endWithRunFlag) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    controlFd_ = controlFd;
    dataFd_ = dataFd;
    deadline_ = std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
    armed_ = true;
    endWithRunFlag_ = endWithRunFlag;
    fired_ = false;
    if (!thread_.joinable()) thread_ = std::thread(&SocketWatchdog::Run, this);
  }
  wake_.notify_all();
}

void SocketWatchdog::Disarm() {
  std::lock_guard<std::mutex> lock(mutex_);
  armed_ = false;
}

bool SocketWatchdog::Fired() {
  std::lock_guard<std::mutex> lock(mutex_);
  return fired_;
}

void SocketWatchdog::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    // Disarmed it sleeps until armed again or stopped (both notify); armed it
    // looks every 50 ms, for the deadline and, when asked, the run flag.
    if (armed_)
      wake_.wait_for(lock, std::chrono::milliseconds(50));
    else
      wake_.wait(lock);
    if (!armed_) continue;
    if (std::chrono::steady_clock::now() < deadline_ && (IsRunning() || !endWithRunFlag_)) continue;
    if (controlFd_ >= 0) shutdown(controlFd_, SHUT_RDWR);
    if (dataFd_ >= 0) shutdown(dataFd_, SHUT_RDWR);
    fired_ = true;
    armed_ = false;
  }
}

}  // namespace hv
