// Test helper: a child process (the station, the simulator, a scripted
// receiver) whose standard output goes to a file the test reads while it runs.
#pragma once

#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/process.h"

namespace hv {

// A child process writing its standard output (and standard error, when a
// file is named for it) to a file; killed and reaped when it is still running
// as the test ends.
struct Child {
  Child(std::vector<std::string> argv, std::string outPath, std::string errPath = "")
      : out(std::move(outPath)), err(std::move(errPath)), pid(testutil::Spawn(std::move(argv), out, err)) {}
  // One already started (pid) writing to `outPath`.
  Child(pid_t started, std::string outPath) : out(std::move(outPath)), pid(started) {}
  ~Child() {
    if (pid > 0) kill(pid, SIGKILL), testutil::Wait(pid, 5);
  }
  // The exit status within `seconds`; -1 when it overstayed or a signal ended it.
  int Exit(double seconds) { return testutil::Wait(std::exchange(pid, -1), seconds); }
  size_t Count(const std::string& text) const {
    std::string all = testutil::ReadText(out);
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
    return n;
  }
  // Waits up to `ms` until `text` has been written more than `seen` times.
  bool WaitFor(const std::string& text, int ms, size_t seen = 0) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (; Count(text) <= seen; std::this_thread::sleep_for(std::chrono::milliseconds(10)))
      if (std::chrono::steady_clock::now() > end) return false;
    return true;
  }
  std::string out;
  std::string err;
  pid_t pid;
};

}  // namespace hv
