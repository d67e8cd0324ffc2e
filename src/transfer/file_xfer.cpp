#include "transfer/file_xfer.h"

#include <fcntl.h>
#include <ftplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <mutex>
#include <vector>

#include "core/file_ops.h"
#include "core/runtime.h"
#include "transfer/ftp_host.h"

namespace hv {

namespace {

std::mutex s_passwordLock;
std::string s_anonymousPassword = "halvane@station.invalid";
constexpr size_t kChunk = 64 * 1024;
constexpr double kQuitSeconds = 2;

// Closes the data connection (reading the server's final reply) under the watchdog.
bool CloseData(netbuf* data, SocketWatchdog& watchdog, int controlFd, double seconds) {
  watchdog.Arm(controlFd, -1, seconds);
  bool ok = FtpClose(data) == 1;
  watchdog.Disarm();
  return ok && !watchdog.Fired();
}

}  // namespace

FileXfer::FileXfer() {
  FtpInit();
  // A server that hangs up mid-transfer must be an error code, not the end of
  // the process: writes to a reset socket raise SIGPIPE.
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
}

FileXfer::~FileXfer() { close(); }

void FileXfer::SetAnonymousPassword(const std::string& password) {
  std::lock_guard<std::mutex> lock(s_passwordLock);
  s_anonymousPassword = password;
}

std::string FileXfer::AnonymousPassword() {
  std::lock_guard<std::mutex> lock(s_passwordLock);
  return s_anonymousPassword;
}

void FileXfer::SetTimeouts(double connectSeconds, double idleSeconds) {
  connectSeconds_ = connectSeconds;
  idleSeconds_ = idleSeconds;
}

bool FileXfer::Fail(const std::string& what) {
  lastError_ = what;
  return false;
}

std::string FileXfer::LastResponse() const {
  const char* text = control_ ? FtpLastResponse(control_) : nullptr;
  std::string r = text ? text : "";
  while (!r.empty() && (r.back() == '\n' || r.back() == '\r')) r.pop_back();
  return r;
}

bool FileXfer::login(const std::string& host, const std::string& user, const std::string& password) {
  if (connected()) return true;
  if (host.empty()) return Fail("no host");
  sockaddr_in address{};
  if (!ResolveFtpHost(host, &address)) return Fail("cannot resolve " + host);
  if (!ProbeFtpServer(address, connectSeconds_)) return Fail("no answer from " + host);
  netbuf* control = nullptr;
  if (FtpConnect(host.c_str(), &control) != 1 || !control) return Fail("connect to " + host + " failed");
  control_ = control;
  FtpOptions(FTPLIB_CONNMODE, FTPLIB_PASSIVE, control_);
  controlFd_ = FtpSocketOf(control_, &address);
  if (controlFd_ < 0) DiagPrint("FTP control connection without a time-out\n");
  watchdog_.Arm(controlFd_, -1, idleSeconds_);
  bool ok = FtpLogin(user.c_str(), password.c_str(), control_) == 1;
  watchdog_.Disarm();
  if (!ok || watchdog_.Fired()) {
    std::string why = "login refused: " + LastResponse();
    close();
    return Fail(why);
  }
  host_ = host, user_ = user, password_ = password;
  return true;
}

bool FileXfer::loginAnonymous(const std::string& host) { return login(host, "anonymous", AnonymousPassword()); }

bool FileXfer::changeDirectory(const std::string& path) {
  if (!connected()) return Fail("not connected");
  watchdog_.Arm(controlFd_, -1, idleSeconds_);
  bool ok = FtpChdir(path.c_str(), control_) == 1;
  watchdog_.Disarm();
  if (!ok || watchdog_.Fired()) return Fail("CWD refused: " + LastResponse());
  return true;
}

bool FileXfer::put(const std::string& localPath, int retry) {
  if (!connected()) return Fail("not connected");
  std::string remote = FileNamePart(localPath);
  if (retry != 0) remote += "_" + std::to_string(retry);
  int fd = open(localPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail("cannot open " + localPath);
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    ::close(fd);
    return Fail("cannot read " + localPath);
  }
  const uint64_t size = static_cast<uint64_t>(info.st_size);

  netbuf* data = nullptr;
  watchdog_.Arm(controlFd_, -1, idleSeconds_);
  bool opened = FtpAccess(remote.c_str(), FTPLIB_FILE_WRITE, transferType_, control_, &data) == 1 && data;
  watchdog_.Disarm();
  if (!opened || watchdog_.Fired()) {
    ::close(fd);
    return Fail("STOR refused: " + LastResponse());
  }
  const int dataFd = FtpSocketOf(data, nullptr);

  // Bytes are counted in 64 bits here: the library's own counters are 32-bit,
  // and a file over 4 GiB must be sent whole or reported as failed.
  std::vector<char> buffer(kChunk);
  uint64_t sent = 0;
  bool ok = true;
  std::string why;
  for (;;) {
    ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false, why = "read error in " + localPath;
      break;
    }
    if (n == 0) break;
    watchdog_.Arm(controlFd_, dataFd, idleSeconds_);
    int written = FtpWrite(buffer.data(), static_cast<int>(n), data);
    watchdog_.Disarm();
    if (written != n || watchdog_.Fired()) {
      ok = false, why = watchdog_.Fired() ? "transfer stalled or stopped" : "data connection lost";
      break;
    }
    sent += static_cast<uint64_t>(n);
  }
  ::close(fd);
  if (ok && sent != size) ok = false, why = "file changed size during the transfer";
  // The server's reply after the data connection closes confirms the upload.
  bool confirmed = CloseData(data, watchdog_, controlFd_, idleSeconds_);
  std::string reply = LastResponse();
  if (!ok) return Fail(why);
  if (!confirmed || reply.empty() || reply[0] != '2') return Fail("transfer not confirmed: " + reply);
  return true;
}

void FileXfer::close() {
  if (!control_) return;
  // QUIT is sent even while the station shuts down, within a short bound.
  watchdog_.Arm(controlFd_, -1, kQuitSeconds, false);
  FtpQuit(control_);
  watchdog_.Disarm();
  control_ = nullptr;
  controlFd_ = -1;
}

}  // namespace hv
