// Test helper: starting the receiver simulator so that the station hears this
// simulator and no other. Nothing may listen on the address's port before the
// start (a simulator left over from another run would otherwise feed the
// station), and the new simulator must report that it listens, on that
// address, before the test goes on. The shell scripts' equivalent is
// tests/support/simulator.sh.
#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"

namespace hv::testutil {

constexpr int kSimulatorPort = 5041;

// True when a socket listens on `address`:`port`, or on every address at that
// port. /proc/net/tcp lists the local address as little-endian hex, the port
// as hex, and state 0A for listening sockets.
inline bool SomethingListensOn(const std::string& address, int port = kSimulatorPort) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (std::sscanf(address.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return false;
  char here[32], any[32];
  std::snprintf(here, sizeof here, "%02X%02X%02X%02X:%04X", d, c, b, a, unsigned(port));
  std::snprintf(any, sizeof any, "00000000:%04X", unsigned(port));
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // heading
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && (local == here || local == any)) return true;
  }
  return false;
}

// Starts the simulator `program` on `address` with `options`, its standard
// output in `out` and its standard error in `out` + ".err". The pid, or -1 with
// the reason in `*error` when something already listens there, the simulator
// ends before listening, or it does not report listening within `seconds`.
inline pid_t StartSimulator(const std::string& program, const std::string& address,
                            const std::vector<std::string>& options, const std::string& out, std::string* error,
                            double seconds = 10) {
  using Clock = std::chrono::steady_clock;
  const std::string where = address + " port " + std::to_string(kSimulatorPort);
  // A simulator the test has just stopped may take a moment to close its socket.
  for (auto end = Clock::now() + std::chrono::seconds(2); SomethingListensOn(address) && Clock::now() < end;)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (SomethingListensOn(address)) {
    *error = "something already listens on " + where +
             " (a simulator left running?); the station would not hear the simulator this test starts";
    return -1;
  }
  std::vector<std::string> argv = {program, "--bind", address};
  argv.insert(argv.end(), options.begin(), options.end());
  const pid_t pid = Spawn(argv, out, out + ".err");
  if (pid <= 0) {
    *error = "cannot start " + program;
    return -1;
  }
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (ReadText(out).find("listening on " + where) != std::string::npos) return pid;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      *error = "the simulator on " + address + " ended before listening: " + ReadText(out + ".err");
      return -1;
    }
    if (Clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      *error = "the simulator on " + address + " did not report listening in time";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace hv::testutil
