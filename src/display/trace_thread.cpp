// The spectral trace thread: reads the conditioned samples that the
// conditioning thread copies to conduit4 while the Spectral Trace window is
// shown, forms the averaged spectrum (dsp/averaged_trace.h) and draws it with
// the trace plot. It draws, so it lives with the display beside the display
// thread; the averaging itself stays in the signal chain.
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "display/trace_plot.h"
#include "dsp/averaged_trace.h"
#include "dsp/tuning_state.h"

namespace hv {

namespace {
struct TraceWork {
  alignas(16) float block[SpectralTrace::kBlock];
  SpectralTrace trace;
};
}  // namespace

// Runs on the spectral trace worker thread until the run flag falls.
int SpectralTraceThread(void*) {
  TraceWork* work = new TraceWork;
  // The stream rate at start (the receiver's, 250000 until one is identified).
  float rate = g_deviceSampleRate.load(std::memory_order_relaxed);
  float lastDrawn = CurrentTuneFrequency();
  TracePlotStart(rate, g_deviceSampleRate.load(std::memory_order_relaxed) / SpectralTrace::kBlock, lastDrawn);

  constexpr uint32_t kBlockBytes = SpectralTrace::kBlock * 4;
  uint32_t fill = 0;  // bytes of the current block read so far
  uint8_t* bytes = reinterpret_cast<uint8_t*>(work->block);
  while (IsRunning()) {
    uint32_t got = 0;
    uint32_t status = conduit4.Read(kBlockBytes - fill, bytes + fill, &got);
    if (status == kStatusNotInitialized) {
      WaveFormat* f = conduit4.TakeFormat();
      if (f) rate = static_cast<float>(f->sampleRate);
      work->trace.NoteFormatChange();
      fill = 0;  // a part block of the old rate is dropped
      continue;
    }
    if (status != kStatusOk || got == 0) {
      conduit4.WaitReadable(kReaderIdleWaitMs, kBlockBytes - fill);
      continue;
    }
    fill += got;
    if (fill < kBlockBytes) continue;  // cut short at a format mark
    fill = 0;

    switch (work->trace.AddBlock(work->block, g_receiverLevelOffset.load(std::memory_order_relaxed),
                                 g_peakHold.load(std::memory_order_relaxed))) {
      case SpectralTrace::Step::kCheckTuning: {
        float tune = CurrentTuneFrequency();
        if (tune != lastDrawn) {
          lastDrawn = tune;
          TracePlotShowTuning(tune);
        }
        break;
      }
      case SpectralTrace::Step::kDraw:
        TracePlotDrawTrace(work->trace.levels(), SpectralTrace::kBins);
        break;
      case SpectralTrace::Step::kReconfigure:
        TracePlotReconfigure(rate);
        lastDrawn = -1.0f;
        break;
      default:
        break;
    }
    YieldThread();
  }
  delete work;
  return 0;
}

}  // namespace hv
