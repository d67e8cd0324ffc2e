// FileXfer: the upload thread's FTP session over ftplib. One control
// connection, logged in by user name or anonymously, passive data
// connections, binary image type, remote names after the local file name.
//
// Every wait is bounded: the host is tried with a bounded connect (and its
// greeting awaited) before ftplib connects; each control exchange and each
// 64 KiB written on the data connection must finish within the idle time,
// and all of them end at once when the run flag falls.
#pragma once

#include <cstdint>
#include <string>

#include "transfer/socket_watchdog.h"

typedef struct NetBuf netbuf;

namespace hv {

class FileXfer {
 public:
  FileXfer();
  virtual ~FileXfer();
  FileXfer(const FileXfer&) = delete;
  FileXfer& operator=(const FileXfer&) = delete;

  // True at once when already connected (whatever the host); false for an
  // empty host. The host may end in ":port".
  virtual bool login(const std::string& host, const std::string& user, const std::string& password);
  // login with "anonymous" and the anonymous password.
  virtual bool loginAnonymous(const std::string& host);
  virtual bool changeDirectory(const std::string& path);
  // Uploads the file under the part of `localPath` after its last "/", with
  // "_<retry>" appended when `retry` is not 0. True only when every byte of
  // the file was sent and the server confirmed the transfer.
  virtual bool put(const std::string& localPath, int retry);
  // Ends the session (QUIT, then the control connection is closed).
  virtual void close();

  bool connected() const { return control_ != nullptr; }
  // What went wrong last, for diagnostics.
  const std::string& lastError() const { return lastError_; }

  // The anonymous password, an e-mail-style text.
  static void SetAnonymousPassword(const std::string& password);
  static std::string AnonymousPassword();
  // Seconds for the connect and greeting, and for each exchange or write.
  void SetTimeouts(double connectSeconds, double idleSeconds);

 private:
  bool Fail(const std::string& what);
  std::string LastResponse() const;

  netbuf* control_ = nullptr;
  int controlFd_ = -1;
  std::string host_, user_, password_;
  int transferType_ = 'I';
  double connectSeconds_ = 10;
  double idleSeconds_ = 30;
  std::string lastError_;
  SocketWatchdog watchdog_;
};

}  // namespace hv
