// The simulator's network receiver: listens on TCP port 5041 of one address,
// serves one client at a time (the next after a disconnect) and sends it
// 16-bit little-endian two's-complement samples with no framing, paced by the
// clock at 250000 per second or, when fast, as fast as the client reads.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "signals.h"

namespace hv::sim {

struct ServerOptions {
  std::string bind = "127.0.0.1";
  int port = 5041;
  bool fast = false;
  double seconds = -1;  // stop after this much signal (negative: no limit)
};

// Runs until `stop` is set (it is looked at every 100 ms) or the signal ends;
// a new source is made for each client. Returns the process exit status;
// failures are written to standard error.
int RunServer(const ServerOptions& options, const std::function<std::unique_ptr<SignalSource>()>& makeSource,
              const std::atomic<bool>& stop);

}  // namespace hv::sim
