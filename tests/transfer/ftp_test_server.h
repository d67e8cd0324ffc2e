// Starts and stops the loopback FTP server script for a test.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "support/process.h"

namespace hv {

class FtpTestServer {
 public:
  ~FtpTestServer() { Kill(); }
  // With `discard`, uploads are only counted (see the script).
  // Starts the server on `address` (a port of its own choosing unless `port`
  // is given) serving `folder`; false when it did not report its port in time.
  bool Start(const std::string& address, const std::string& folder, int port = 0, int slowBytesPerSecond = 0,
             bool discard = false);
  void Kill();
  int port() const { return port_; }
  std::string Host() const { return address_ + ":" + std::to_string(port_); }
  // The command lines received so far.
  std::string Commands() const;
  std::string commandLog;  // path of the command log

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string address_;
};

// A fresh temporary folder ending in "/".
std::string MakeTempFolder();
inline std::string ReadWholeFile(const std::string& path) { return testutil::ReadText(path); }
void WriteWholeFile(const std::string& path, const std::string& bytes);
inline bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace hv
