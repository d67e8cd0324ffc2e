// The display thread's screen path on the headless toolkit: how many captures
// per second it can present, and the CPU time it spends per second of 500 kHz
// input while a capture is drawn at every trigger. Reference: the same frames
// only passed through a conduit (the cost of reading them, nothing drawn).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/conduit.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "display/column_analyser.h"
#include "display/display_engine.h"
#include "display/sonogram_image.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/window_set.h"

namespace {

using namespace hv;

constexpr float kRate = 500000.0f;
constexpr int kFramesPerSecond = int(kRate / kFrameSamples);  // 7812

int NoHandler(XsWindow*, int, int*) { return 0; }

void SetUpScreen() {
  static bool done = false;
  if (done) return;
  done = true;
  XsToolkitInit(false);
  g_displayLock = CreateMutexRecord();
  g_mainWindow = XsWindowCreate(NoHandler, kXsMainFrame);
  XsWindowSetClientSize(g_mainWindow, 800, 336);
}

// One second of frames at 500 kHz: a descending sweep repeated every 10 ms, every
// frame loud enough to trigger.
std::vector<uint8_t> OneSecondOfFrames() {
  std::vector<uint8_t> bytes(size_t(kFramesPerSecond) * kFrameBytes);
  double phase = 0.0;
  for (int f = 0; f < kFramesPerSecond; ++f) {
    float words[68] = {};
    words[0] = 40.0f;
    words[1] = 60.0f;
    for (int i = 0; i < kFrameSamples; ++i) {
      double t = std::fmod((f * kFrameSamples + i) / double(kRate), 0.01);
      double hz = 90000.0 - 4.0e6 * t;
      phase += 2.0 * M_PI * hz / kRate;
      words[4 + i] = float(0.3 * std::sin(phase));
    }
    std::memcpy(bytes.data() + size_t(f) * kFrameBytes, words, sizeof words);
  }
  return bytes;
}

// Writes the frames into the conduit 8 at a time, running `drain` after each
// write, as frames arrive while the display keeps up: the backlog after a
// capture stays small, so the figure is the drawing cost, not skipped frames.
template <typename Drain>
void Pump(Conduit& conduit, const std::vector<uint8_t>& bytes, Drain drain) {
  size_t at = 0;
  while (at < bytes.size()) {
    uint32_t accepted = 0;
    uint32_t chunk = uint32_t(std::min<size_t>(bytes.size() - at, 8 * kFrameBytes));
    conduit.Write(chunk, bytes.data() + at, &accepted);
    at += accepted;
    drain();
  }
}

void BM_ScreenPathPerInputSecond(benchmark::State& state) {
  SetUpScreen();
  ResetSettingsToDefaults();
  g_settings.SonoDivisions.store(int(state.range(0)));
  static WaveFormat format = MakeWaveFormat(uint32_t(kRate), 1, kFrameBytes, 2176);
  Conduit conduit;
  conduit.Create(1024 * kFrameBytes, &format);
  std::vector<uint8_t> second = OneSecondOfFrames();
  DisplayEngine engine(&conduit, &g_spectrogram, MakeColumnAnalyser());
  engine.start(kRate);
  double wallSeconds = 0.0;
  for (auto _ : state) {
    auto begin = std::chrono::steady_clock::now();
    Pump(conduit, second, [&] { engine.runOnce(false); });
    wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  }
  double inputSeconds = double(state.iterations());
  state.counters["captures_per_input_s"] = engine.capturesPresented() / inputSeconds;
  state.counters["captures_per_wall_s"] = engine.capturesPresented() / wallSeconds;
  state.counters["input_s_per_wall_s"] = inputSeconds / wallSeconds;
}
BENCHMARK(BM_ScreenPathPerInputSecond)->Arg(1)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);

// Reference: the same second of frames read from the conduit, nothing drawn.
void BM_ReadOnlyReference(benchmark::State& state) {
  static WaveFormat format = MakeWaveFormat(uint32_t(kRate), 1, kFrameBytes, 2176);
  Conduit conduit;
  conduit.Create(1024 * kFrameBytes, &format);
  std::vector<uint8_t> second = OneSecondOfFrames();
  std::vector<uint8_t> sink(8 * kFrameBytes);
  for (auto _ : state) {
    Pump(conduit, second, [&] {
      uint32_t got = 0;
      do {
        conduit.Read(8 * kFrameBytes, sink.data(), &got);
      } while (got > 0);
    });
    benchmark::DoNotOptimize(sink.data());
  }
}
BENCHMARK(BM_ReadOnlyReference)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
