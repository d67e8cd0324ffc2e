// Starts and stops the loopback FTP server script for a test.
#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace hv {

class FtpTestServer {
 public:
  ~FtpTestServer() { Kill(); }
  // Starts the server on `address` (a port of its own choosing unless `port`
  // is given) serving `folder`; false when it did not report its port within
  // 10 s. With `discard`, uploads are only counted (see the script).
  bool Start(const std::string& address, const std::string& folder, int port = 0, int slowBytesPerSecond = 0,
             bool discard = false) {
    Kill();
    address_ = address;
    std::vector<std::string> args = {"/usr/bin/python3", HALVANE_FTP_SERVER_SCRIPT, "--address", address,
                                     "--port", std::to_string(port), "--dir", folder, "--commands",
                                     files_ / "commands.txt", "--slow", std::to_string(slowBytesPerSecond)};
    if (discard) args.push_back("--discard");
    pid_ = testutil::Spawn(args, files_ / "port");
    // The script prints its port once it listens.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string line;
    while (pid_ > 0 && (line = testutil::ReadText(files_ / "port")).find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port_ = std::atoi(line.c_str());
    return port_ > 0;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  int port() const { return port_; }
  std::string Host() const { return address_ + ":" + std::to_string(port_); }
  // The command lines received so far (across restarts).
  std::string Commands() const { return testutil::ReadText(files_ / "commands.txt"); }

 private:
  TempFolder files_;  // the command log and the reported port
  pid_t pid_ = -1;
  int port_ = 0;
  std::string address_;
};

inline std::string ReadWholeFile(const std::string& path) { return testutil::ReadText(path); }
inline bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace hv
