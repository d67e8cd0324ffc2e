// Bounds the blocking socket calls that ftplib makes: while armed, the
// watchdog shuts the watched sockets down when the deadline passes or the run
// flag falls, so a blocked read or write returns with an error at once.
// shutdown() (not close) leaves the descriptors to their owner.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace hv {

class SocketWatchdog {
 public:
  SocketWatchdog() = default;
  ~SocketWatchdog();
  SocketWatchdog(const SocketWatchdog&) = delete;
  SocketWatchdog& operator=(const SocketWatchdog&) = delete;

  // Watches `controlFd` and `dataFd` (-1: none) for `seconds` from now; with
  // `endWithRunFlag` it also fires as soon as the run flag falls.
  void Arm(int controlFd, int dataFd, double seconds, bool endWithRunFlag = true);
  void Disarm();
  // True when the watchdog shut the sockets down since the last Arm.
  bool Fired();

 private:
  // Runs on the watchdog's own thread, started by the first Arm.
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  bool stop_ = false;
  bool armed_ = false;
  bool fired_ = false;
  bool endWithRunFlag_ = true;
  int controlFd_ = -1, dataFd_ = -1;
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace hv
