// The toolkit calls workers make most often, beside references measured in the
// same run: setting a status text (a changed text each time) beside a lock and
// string assignment, and blitting a spectrogram-sized image (800 x 256, no
// stretch) beside memcpy of the same bytes. Target: the text within 4x of its
// reference, the blit within 3x of memcpy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "ui/toolkit/xs.h"

namespace {

int NoHandler(XsWindow*, int, int*) { return 0; }

XsWindow* Window() {
  static XsWindow* w = [] {
    XsWindow* win = XsWindowCreate(NoHandler, kXsFixedTool);
    XsWindowSetClientSize(win, 800, 336);
    for (int id = 300; id < 340; ++id) XsControlCreate(win, id, kXsStatic);
    return win;
  }();
  return w;
}

const char* const kTexts[2] = {"Recording: _D20261207T031500m123.wav", "Waiting for trigger"};

void BM_SetStatusText(benchmark::State& state) {
  XsWindow* w = Window();
  int i = 0;
  for (auto _ : state) XsControlSetText(w, 335, kTexts[++i & 1]);
}
BENCHMARK(BM_SetStatusText);

void BM_ReferenceLockedAssign(benchmark::State& state) {
  std::mutex m;
  std::string text;
  int i = 0;
  for (auto _ : state) {
    std::lock_guard<std::mutex> g(m);
    text = kTexts[++i & 1];
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_ReferenceLockedAssign);

void BM_BlitImage(benchmark::State& state) {
  XsWindow* w = Window();
  std::vector<uint32_t> image(800 * 256, 0x123456);
  for (auto _ : state) XsDrawImage(w, image.data(), 800, 256, 0, 40, -1, -1, 0, 0, -1, -1);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size() * 4));
}
BENCHMARK(BM_BlitImage);

void BM_ReferenceMemcpy(benchmark::State& state) {
  std::vector<uint32_t> image(800 * 256, 0x123456), surface(800 * 336);
  for (auto _ : state) {
    for (int y = 0; y < 256; ++y) std::memcpy(&surface[(y + 40) * 800], &image[y * 800], 800 * 4);
    benchmark::DoNotOptimize(surface.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size() * 4));
}
BENCHMARK(BM_ReferenceMemcpy);

}  // namespace

BENCHMARK_MAIN();
