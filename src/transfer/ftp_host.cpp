#include "transfer/ftp_host.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "core/station_state.h"

namespace hv {

bool ResolveFtpHost(const std::string& host, sockaddr_in* address) {
  std::memset(address, 0, sizeof *address);
  address->sin_family = AF_INET;
  std::string name = host, port = "ftp";
  size_t colon = host.find(':');
  if (colon != std::string::npos) name = host.substr(0, colon), port = host.substr(colon + 1);
  if (name.empty()) return false;
  if (!port.empty() && port[0] >= '0' && port[0] <= '9') {
    address->sin_port = htons(static_cast<uint16_t>(std::atoi(port.c_str())));
  } else {
    servent entry{}, *found = nullptr;
    char buffer[1024];
    if (getservbyname_r(port.c_str(), "tcp", &entry, buffer, sizeof buffer, &found) != 0 || !found) return false;
    address->sin_port = static_cast<in_port_t>(found->s_port);
  }
  if (inet_pton(AF_INET, name.c_str(), &address->sin_addr) == 1) return true;
  addrinfo hints{}, *list = nullptr;
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || !list) return false;
  address->sin_addr = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
  freeaddrinfo(list);
  return true;
}

namespace {
// Waits for `events` on `fd` in short slices until the deadline or the run flag falls.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  while (IsRunning()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
  return false;
}
}  // namespace

bool ProbeFtpServer(const sockaddr_in& address, double seconds) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
  bool ok = false;
  int rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (rc == 0 || errno == EINPROGRESS) {
    int error = 0;
    socklen_t length = sizeof error;
    if (rc == 0 || (WaitFor(fd, POLLOUT, deadline) && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                    error == 0)) {
      // The greeting's first line.
      char line[256];
      size_t got = 0;
      while (!ok && got < sizeof line && WaitFor(fd, POLLIN, deadline)) {
        ssize_t n = recv(fd, line + got, sizeof line - got, 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
        ok = std::memchr(line, '\n', got) != nullptr;
      }
    }
  }
  ::close(fd);
  return ok;
}

int FtpSocketOf(netbuf* connection, const sockaddr_in* peer) {
  if (!connection) return -1;
  // ftplib 4.0 keeps the descriptor after the two buffer pointers at the start
  // of its connection record. The record is private to the library, so the
  // value is only trusted when it names a stream socket connected to the peer.
  struct RecordStart {
    char* put;
    char* get;
    int handle;
  };
  int fd = reinterpret_cast<const RecordStart*>(connection)->handle;
  if (fd < 0) return -1;
  int type = 0;
  socklen_t length = sizeof type;
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM) return -1;
  sockaddr_in actual{};
  length = sizeof actual;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&actual), &length) != 0 || actual.sin_family != AF_INET) return -1;
  if (peer && (actual.sin_addr.s_addr != peer->sin_addr.s_addr || actual.sin_port != peer->sin_port)) return -1;
  return fd;
}

}  // namespace hv
