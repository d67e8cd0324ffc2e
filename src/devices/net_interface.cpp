#include "devices/net_interface.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "core/station_state.h"

namespace hv {

namespace {

void Say(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

// Connects `fd` (non-blocking) within the limit, looking at the run flag
// every poll interval. True when connected.
bool ConnectBounded(int fd, const sockaddr_in& address) {
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  if (errno != EINPROGRESS) return false;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kNetConnectLimitMs);
  while (IsRunning()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    int r = poll(&p, 1, static_cast<int>(left < kNetPollMs ? left : kNetPollMs));
    if (r < 0 && errno != EINTR) return false;
    if (r > 0) {
      int error = 0;
      socklen_t length = sizeof error;
      return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
  }
  return false;
}

}  // namespace

NetInterface::~NetInterface() { close(); }

bool NetInterface::open(const char* deviceName) {
  if (!deviceName || std::strncmp(deviceName, "IP", 2) != 0) return false;
  std::string address(deviceName + 2);
  if (address.empty() || address.size() > 511) return false;
  close();
  lost_ = false;
  lostReason_ = "";
  flowing_ = false;
  readAtOnce_ = false;
  socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (socket_ < 0) {
    std::printf("Client: socket() - Error at socket(): %ld\n", static_cast<long>(errno));
    std::fflush(stdout);
    close();
    return false;
  }
  Say("Client: socket() is OK.\n");
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(kNetReceiverPort);
  int flags = fcntl(socket_, F_GETFL);
  bool ok = inet_pton(AF_INET, address.c_str(), &peer.sin_addr) == 1 && flags >= 0 &&
            fcntl(socket_, F_SETFL, flags | O_NONBLOCK) == 0 && ConnectBounded(socket_, peer);
  if (!ok) {
    Say("Client: connect() - Failed to connect.\n");
    close();
    return false;
  }
  Say("Client: connect() is OK.\n");
  Say("Client: Can start sending and receiving data...\n");
  lastData_ = std::chrono::steady_clock::now();
  return true;
}

void NetInterface::close() {
  if (socket_ < 0) return;
  shutdown(socket_, SHUT_RD);
  ::close(socket_);
  socket_ = -1;
}

bool NetInterface::getString(int index, char* dest, int size) {
  const char* text = index == 1 ? "MRW" : index == 2 ? "HX302RevN" : nullptr;
  if (!text || !dest || size <= 0) return false;
  std::snprintf(dest, static_cast<size_t>(size), "%s", text);
  return true;
}

void NetInterface::markLost(const char* reason) {
  lost_ = true;
  lostReason_ = reason;
}

bool NetInterface::waitForData() {
  pollfd p{socket_, POLLIN, 0};
  int r = poll(&p, 1, kNetPollMs);
  if (r < 0 && errno != EINTR) {
    markLost("the connection failed");
    return false;
  }
  if (r <= 0) {
    auto silent = std::chrono::steady_clock::now() - lastData_;
    if (silent > std::chrono::milliseconds(kNetSilenceLimitMs)) markLost("no data for 2 s");
    return false;
  }
  return true;
}

// More than two periods' worth in one read, or a full buffer: the reader is
// behind the stream (a backlog after a stall, or a sender faster than its
// rate), so the next read follows at once instead of a period later.
bool NetInterface::Behind(int count, int size) const {
  return count == size || (periodBytes_ > 0 && count > 2 * periodBytes_);
}

bool NetInterface::take(void* dest, int size, int* count) {
  ssize_t n = recv(socket_, dest, static_cast<size_t>(size), MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return false;
  if (n == 0) {
    markLost("the receiver closed the connection");
    return false;
  }
  if (n < 0) {
    markLost("the connection failed");
    return false;
  }
  lastData_ = std::chrono::steady_clock::now();
  *count = static_cast<int>(n);
  return true;
}

bool NetInterface::receive(void* dest, int& size, int* countOut) {
  int ignored = 0;
  int* count = countOut ? countOut : &ignored;
  *count = 0;
  if (socket_ < 0 || !dest || size <= 0) {
    if (socket_ < 0) markLost("not connected");
    return false;
  }
  if (readPeriodMs_ == 0) flowing_ = false;
  if (flowing_) {
    // Sleep to the next read time (none when the last read found a backlog).
    // A thread that fell more than a period behind starts the cadence again
    // from now rather than reading in a burst.
    const auto period = std::chrono::milliseconds(readPeriodMs_);
    auto now = std::chrono::steady_clock::now();
    const bool onCadence = !readAtOnce_;
    if (nextRead_ + period < now || readAtOnce_) nextRead_ = now;
    if (nextRead_ > now) {
      auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(nextRead_.time_since_epoch()).count();
      timespec until{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
      // steady_clock is CLOCK_MONOTONIC; a signal ending the sleep early only reads sooner.
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    }
    nextRead_ += period;
    readAtOnce_ = false;
    if (take(dest, size, count)) {
      readAtOnce_ = Behind(*count, size);
      return true;
    }
    // Nothing in a whole period: the stream paused; wait for its first byte
    // again. (A read made at once after a backlog that finds nothing only
    // means the backlog is gone: the cadence goes on.)
    if (onCadence) flowing_ = false;
    return false;
  }
  if (!waitForData() || !take(dest, size, count)) return false;
  if (readPeriodMs_ > 0) {
    flowing_ = true;
    readAtOnce_ = Behind(*count, size);
    nextRead_ = lastData_ + std::chrono::milliseconds(readPeriodMs_);
  }
  return true;
}

bool NetInterface::send(const void* source, int& size, int* count) {
  if (count) *count = 0;
  if (socket_ < 0 || !source || size <= 0) return false;
  ssize_t n = ::send(socket_, source, static_cast<size_t>(size), MSG_NOSIGNAL);
  if (n <= 0) return false;
  if (count) *count = static_cast<int>(n);
  return true;
}

}  // namespace hv
