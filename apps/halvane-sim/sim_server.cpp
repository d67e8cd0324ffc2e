#include "sim_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace hv::sim {

namespace {

constexpr int kPollMs = 100;
constexpr size_t kChunkSamples = 2048;

enum class Sent { kAll, kClientGone, kStopped };

// Sends all of `bytes`, waiting for room at most 100 ms at a time.
Sent SendAll(int fd, const uint8_t* bytes, size_t size, const std::atomic<bool>& stop) {
  while (size > 0) {
    if (stop.load()) return Sent::kStopped;
    ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, kPollMs);
      continue;
    }
    return Sent::kClientGone;
  }
  return Sent::kAll;
}

// Serves one client; true when the signal has ended (the program stops).
bool Serve(int fd, const ServerOptions& options, SignalSource& source, const std::atomic<bool>& stop) {
  using clock = std::chrono::steady_clock;
  const uint64_t limit = options.seconds >= 0 ? static_cast<uint64_t>(options.seconds * kSimSampleRate) : UINT64_MAX;
  std::vector<int16_t> samples(kChunkSamples);
  std::vector<uint8_t> bytes(2 * kChunkSamples);
  uint64_t sent = 0;
  auto start = clock::now();
  while (!stop.load()) {
    if (sent >= limit) return true;
    size_t want = kChunkSamples;
    if (!options.fast) {
      double elapsed = std::chrono::duration<double>(clock::now() - start).count();
      uint64_t due = static_cast<uint64_t>(elapsed * kSimSampleRate);
      if (due <= sent) {
        // Nothing due yet: sleep, but notice a client that went away.
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2) > 0) {
          char scratch[256];
          ssize_t n = recv(fd, scratch, sizeof scratch, MSG_DONTWAIT);
          if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return false;
        }
        continue;
      }
      if (due - sent < want) want = static_cast<size_t>(due - sent);
    }
    if (limit - sent < want) want = static_cast<size_t>(limit - sent);
    size_t n = source.Fill(samples.data(), want);
    if (n == 0) return true;
    for (size_t i = 0; i < n; ++i) {
      uint16_t v = static_cast<uint16_t>(samples[i]);
      bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
      bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    Sent result = SendAll(fd, bytes.data(), 2 * n, stop);
    if (result == Sent::kClientGone) return false;
    if (result == Sent::kStopped) return true;
    sent += n;
  }
  return true;
}

}  // namespace

int RunServer(const ServerOptions& options, const std::function<std::unique_ptr<SignalSource>()>& makeSource,
              const std::atomic<bool>& stop) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(options.port));
  if (inet_pton(AF_INET, options.bind.c_str(), &address.sin_addr) != 1) {
    std::fprintf(stderr, "halvane-sim: %s is not a dotted IPv4 address\n", options.bind.c_str());
    return 2;
  }
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int yes = 1;
  // Lets a restarted simulator listen again at once; a live listener on the
  // same address still makes bind fail.
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0) {
    std::fprintf(stderr, "halvane-sim: cannot listen on %s port %d: %s\n", options.bind.c_str(), options.port,
                 std::strerror(errno));
    if (listener >= 0) close(listener);
    return 1;
  }
  std::printf("halvane-sim: listening on %s port %d\n", options.bind.c_str(), options.port);
  std::fflush(stdout);
  bool ended = false;
  while (!stop.load() && !ended) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, kPollMs) <= 0) continue;
    int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    std::printf("halvane-sim: client connected\n");
    std::fflush(stdout);
    std::unique_ptr<SignalSource> source = makeSource();
    ended = !source || Serve(client, options, *source, stop);
    close(client);
    std::printf("halvane-sim: client %s\n", ended ? "closed" : "disconnected");
    std::fflush(stdout);
  }
  close(listener);
  return 0;
}

}  // namespace hv::sim
