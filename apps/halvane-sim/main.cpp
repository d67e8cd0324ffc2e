// halvane-sim: a network receiver for demos, tests and benchmarks. Parses the
// command line and hands over to the server.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "call_scene.h"
#include "signals.h"
#include "sim_server.h"

namespace {

std::atomic<bool> s_stop{false};

void OnSignal(int) { s_stop.store(true); }

const char* kUsage =
    "usage: halvane-sim [--bind ADDR] [--signal calls|scene[:SNR]|noise|tone:HZ|counter|silence]\n"
    "                   [--file WAV] [--seconds N] [--fast] [--truth CSV]\n"
    "       halvane-sim --write WAV --seconds N [--signal ...] [--rate HZ] [--truth CSV]\n"
    "  scene: bat calls of several kinds over noise (and clicks), SNR dB above the noise (default 20)\n"
    "  --truth: writes each call of the scene as it begins (start, end, frequencies)\n"
    "  --write: writes N seconds of the signal to a 16-bit mono WAV file instead of serving\n";

// scene[:SNR] as scene options; false when it is not a scene.
bool SceneSignal(const std::string& name, hv::sim::SceneOptions* options, std::string* error) {
  if (name != "scene" && name.rfind("scene:", 0) != 0) return false;
  options->clicks = true;
  if (name.size() > 6) {
    char* end = nullptr;
    options->snrDb = std::strtod(name.c_str() + 6, &end);
    if (*end != '\0' || !(options->snrDb > -20 && options->snrDb < 80)) {
      *error = "scene:SNR needs a level in dB between -20 and 80";
      return false;
    }
  }
  return true;
}

// A 16-bit mono WAV file: RIFF header, fmt chunk (PCM), data chunk.
bool WriteWav(const std::string& path, hv::sim::SignalSource* source, int rate, double seconds) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const uint64_t frames = uint64_t(seconds * rate);
  if (frames * 2 > 0xFFFFFF00u) {
    std::fclose(f);
    return false;
  }
  const uint32_t dataBytes = uint32_t(frames * 2);
  auto u32 = [&](uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, f);
  };
  auto u16 = [&](uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
  };
  std::fwrite("RIFF", 1, 4, f);
  u32(36 + dataBytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  u32(16);
  u16(1);
  u16(1);
  u32(uint32_t(rate));
  u32(uint32_t(rate) * 2);
  u16(2);
  u16(16);
  std::fwrite("data", 1, 4, f);
  u32(dataBytes);
  std::vector<int16_t> block(8192);
  std::vector<uint8_t> bytes(block.size() * 2);
  for (uint64_t left = frames; left > 0;) {
    size_t n = size_t(std::min<uint64_t>(left, block.size()));
    size_t got = source->Fill(block.data(), n);
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i) {
      bytes[2 * i] = uint8_t(block[i]);
      bytes[2 * i + 1] = uint8_t(uint16_t(block[i]) >> 8);
    }
    std::fwrite(bytes.data(), 1, got * 2, f);
    left -= got;
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  hv::sim::ServerOptions options;
  std::string signal = "calls", file, truthPath, writePath;
  int rate = hv::sim::kSimSampleRate;
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
    else if (arg == "--truth" && value(&v)) truthPath = v;
    else if (arg == "--write" && value(&v)) writePath = v;
    else if (arg == "--rate" && value(&v)) {
      rate = std::atoi(v.c_str());
      if (rate < 8000 || rate > 1000000) {
        std::fprintf(stderr, "halvane-sim: --rate needs 8000..1000000\n%s", kUsage);
        return 2;
      }
    }
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
  std::string error;
  hv::sim::SceneOptions scene;
  const bool isScene = file.empty() && SceneSignal(signal, &scene, &error);
  if (!error.empty()) {
    std::fprintf(stderr, "halvane-sim: %s\n", error.c_str());
    return 2;
  }
  if (!truthPath.empty() && !isScene) {
    std::fprintf(stderr, "halvane-sim: --truth needs --signal scene\n");
    return 2;
  }
  if (rate != hv::sim::kSimSampleRate && (!isScene || writePath.empty())) {
    std::fprintf(stderr, "halvane-sim: --rate is for a scene written with --write\n");
    return 2;
  }
  scene.rate = rate;
  std::FILE* truth = nullptr;
  if (!truthPath.empty()) {
    truth = std::fopen(truthPath.c_str(), "w");
    if (!truth) {
      std::fprintf(stderr, "halvane-sim: cannot write %s\n", truthPath.c_str());
      return 1;
    }
    hv::sim::WriteTruthHeader(truth);
    std::fflush(truth);
  }
  // Each source made writes its calls to the truth file as they begin.
  auto makeScene = [&]() -> std::unique_ptr<hv::sim::SignalSource> {
    auto s = std::make_unique<hv::sim::CallScene>(scene);
    if (truth) s->onCall = [truth](const hv::sim::TrueCall& c) {
      hv::sim::WriteTruthRow(truth, c);
      std::fflush(truth);
    };
    return s;
  };
  if (!writePath.empty()) {
    if (!(options.seconds > 0)) {
      std::fprintf(stderr, "halvane-sim: --write needs --seconds\n");
      return 2;
    }
    std::unique_ptr<hv::sim::SignalSource> source;
    if (isScene) source = makeScene();
    else source = file.empty() ? hv::sim::MakeSignal(signal, &error) : hv::sim::MakeFileSource(file, &error);
    if (!source) {
      std::fprintf(stderr, "halvane-sim: %s\n", error.c_str());
      return 2;
    }
    bool written = WriteWav(writePath, source.get(), rate, options.seconds);
    if (truth && std::fclose(truth) != 0) written = false;
    if (!written) std::fprintf(stderr, "halvane-sim: cannot write %s\n", writePath.c_str());
    return written ? 0 : 1;
  }
  // Check the signal once before listening, so a typo fails at once.
  if (!isScene) {
    auto probe = file.empty() ? hv::sim::MakeSignal(signal, &error) : hv::sim::MakeFileSource(file, &error);
    if (!probe) {
      std::fprintf(stderr, "halvane-sim: %s\n", error.c_str());
      return 2;
    }
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  auto make = [&]() -> std::unique_ptr<hv::sim::SignalSource> {
    if (isScene) return makeScene();
    std::string e;
    return file.empty() ? hv::sim::MakeSignal(signal, &e) : hv::sim::MakeFileSource(file, &e);
  };
  return hv::sim::RunServer(options, make, s_stop);
}
