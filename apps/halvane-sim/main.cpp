// halvane-sim: a network receiver for demos, tests and benchmarks. Parses the
// command line and hands over to the server.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "signals.h"
#include "sim_server.h"

namespace {

std::atomic<bool> s_stop{false};

void OnSignal(int) { s_stop.store(true); }

const char* kUsage =
    "usage: halvane-sim [--bind ADDR] [--signal calls|noise|tone:HZ|counter|silence] [--file WAV]\n"
    "                   [--seconds N] [--fast]\n";

}  // namespace

int main(int argc, char** argv) {
  hv::sim::ServerOptions options;
  std::string signal = "calls", file;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--bind" && value(&v)) options.bind = v;
    else if (arg == "--signal" && value(&v)) signal = v;
    else if (arg == "--file" && value(&v)) file = v;
    else if (arg == "--fast") options.fast = true;
    else if (arg == "--seconds" && value(&v)) {
      char* end = nullptr;
      options.seconds = std::strtod(v.c_str(), &end);
      if (v.empty() || *end || !(options.seconds >= 0)) {
        std::fprintf(stderr, "halvane-sim: --seconds needs a number\n%s", kUsage);
        return 2;
      }
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "halvane-sim: bad option %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  // Check the signal once before listening, so a typo fails at once.
  std::string error;
  auto probe = file.empty() ? hv::sim::MakeSignal(signal, &error) : hv::sim::MakeFileSource(file, &error);
  if (!probe) {
    std::fprintf(stderr, "halvane-sim: %s\n", error.c_str());
    return 2;
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  auto make = [&]() -> std::unique_ptr<hv::sim::SignalSource> {
    std::string e;
    return file.empty() ? hv::sim::MakeSignal(signal, &e) : hv::sim::MakeFileSource(file, &e);
  };
  return hv::sim::RunServer(options, make, s_stop);
}
