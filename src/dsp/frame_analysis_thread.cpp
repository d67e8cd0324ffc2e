// The spectrum thread: cuts the conditioned stream of conduit5 into 256-sample
// windows, one every 64 samples, and writes one 272-byte spectrum frame per
// window to conduit6 (the display, while a screen shows it) and, in Auto Snap
// mode, to conduit7. Each wake-up takes all that waits (up to kMostSamples),
// so the thread wakes about once per batch the conditioning thread writes.
#include <algorithm>
#include <cstring>

#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "dsp/analysis_frame.h"
#include "dsp/conduit_write.h"
#include "dsp/frame_analyser.h"
#include "settings/settings.h"

namespace hv {

namespace {

constexpr int kWindow = 256;
constexpr int kReadSamples = 1024;    // the wait asks for this many
constexpr int kMostSamples = 8192;    // one read takes at most this many
constexpr int kBufferSamples = kWindow + kFrameHop + kMostSamples;  // what is left over + one read
constexpr int kMaxFrames = (kBufferSamples - kWindow) / kFrameHop;

// The frame stream's format: the sample stream's, with one 272-byte frame per sample.
WaveFormat FrameFormat(const WaveFormat& stream) {
  WaveFormat f = stream;
  f.bitsPerSample = kSpectrumFrameBits;
  f.blockAlign = static_cast<uint16_t>(stream.channels * kSpectrumFrameBytes);
  f.avgBytesPerSec = f.blockAlign * stream.sampleRate;
  f.extraSize = 0;
  return f;
}

struct SpectrumWork {
  alignas(16) float samples[kBufferSamples + 1];  // +1: room for a stray partial sample
  SpectrumFrame frames[kMaxFrames];
  SpectrumAnalyser analyser;
};

// Analyses `frames` windows from the buffer's start (in the snapshot band of
// the current settings) and hands the frames on to the display and, in Auto
// Snap mode, to the snapshot recorder.
void WriteFrames(SpectrumWork* work, int frames, float nyquist) {
  SnapshotBand band = SnapshotBandBins(g_settings.SnapFilterLowFreq.load(std::memory_order_relaxed),
                                       g_settings.SnapFilterHighFreq.load(std::memory_order_relaxed), nyquist);
  const float levelOffset = g_receiverLevelOffset.load(std::memory_order_relaxed);
  for (int at = 0; at < frames; at += SpectrumAnalyser::kMaxBatch)
    work->analyser.MakeFrames(work->samples + at * kFrameHop, std::min(frames - at, SpectrumAnalyser::kMaxBatch), band,
                              levelOffset, work->frames + at);
  const uint32_t size = static_cast<uint32_t>(frames) * kSpectrumFrameBytes;
  if (g_drawingSeen.load(std::memory_order_relaxed)) WriteWhileRunning(conduit6, work->frames, size);
  if (g_settings.MenuRecordMode.load(std::memory_order_relaxed) == kModeAutoSnap)
    WriteWhileRunning(conduit7, work->frames, size);
}

}  // namespace

// Runs on the spectrum worker thread until the run flag falls.
int SpectrumThread(void*) {
  SpectrumWork* work = new SpectrumWork;
  float rate = g_deviceSampleRate.load(std::memory_order_relaxed);
  if (g_playbackActive.load(std::memory_order_relaxed)) {
    WaveFormat* f = conduit5.TakeFormat();
    if (f) rate = static_cast<float>(f->sampleRate);
  }
  float nyquist = rate / 2.0f;
  uint32_t fillBytes = 0;  // bytes in the sample buffer
  int consumed = 0;        // samples already analysed past

  while (IsRunning()) {
    // 1. Keep the samples not yet consumed (and any stray partial sample).
    uint32_t keepFrom = static_cast<uint32_t>(consumed) * 4;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(work->samples);
    if (keepFrom > 0) {
      std::memmove(bytes, bytes + keepFrom, fillBytes - keepFrom);
      fillBytes -= keepFrom;
      consumed = 0;
    }
    // 2. Read behind them: all that waits, up to the room left (whole samples).
    uint32_t want = std::min<uint32_t>(conduit5.Available(), kBufferSamples * 4 - fillBytes);
    want -= want % 4;
    if (want == 0) want = kReadSamples * 4;  // nothing yet: the failed read sets the wait's amount
    uint32_t got = 0;
    uint32_t status = conduit5.Read(want, bytes + fillBytes, &got);
    if (status == kStatusNotInitialized) {
      // The old stream's samples not yet in a frame go out now, in frames of the
      // old format whose windows are filled up with silence, so that no frame of
      // the new stream holds an old sample. A last part shorter than a hop
      // (under 64 samples) cannot make a frame and is dropped.
      const int left = static_cast<int>(fillBytes / 4);  // under one window and a hop
      const int tail = std::min(left / kFrameHop, (kBufferSamples - kWindow) / kFrameHop);
      if (tail > 0) {
        std::fill(work->samples + left, work->samples + (tail - 1) * kFrameHop + kWindow, 0.0f);
        WriteFrames(work, tail, nyquist);
      }
      fillBytes = 0;
      WaveFormat* f = conduit5.TakeFormat();
      if (f) {
        nyquist = static_cast<float>(f->sampleRate) / 2.0f;
        WaveFormat frameFormat = FrameFormat(*f);
        conduit6.AnnounceFormat(frameFormat);
        conduit7.AnnounceFormat(frameFormat);
      }
      got = 0;
    } else if (status != kStatusOk) {
      got = 0;
    }
    if (got == 0) {
      conduit5.WaitReadable(kReaderIdleWaitMs, kReadSamples * 4);
      continue;
    }
    fillBytes += got;
    const int available = static_cast<int>(fillBytes / 4);

    // 3. Frames while the window fits, one per 64 samples.
    int frames = 0;
    int g = 0;
    if (available > kWindow) {
      // Windows at 0, 64, ...: after each, go on only while the next one fits.
      frames = 1;
      while (frames < kMaxFrames && frames * kFrameHop + kWindow < available) ++frames;
      g = frames * kFrameHop;
      WriteFrames(work, frames, nyquist);
    }
    // 4. The next cycle starts at the first window not analysed.
    consumed = g;
    YieldThread();
  }
  delete work;
  return 0;
}

}  // namespace hv
