// The conditioning thread: the single reader of conduit1. It removes the DC
// offset, applies the chosen response filter and fans the block out: float
// samples to conduit4 (while the Spectral Trace window is shown on a screen) and conduit5,
// the 16-bit block to Conduit3 in the Continuous and Buffered Snap modes, and,
// while audio is on, through the tuning path to conduit2 (and, in Audio record
// mode, as 16-bit samples at 44100/s to Conduit3). It also keeps the tuning
// limits that follow from the stream's rate.
//
// Each wake-up takes all that waits in conduit1 (up to kMostBytes) and
// conditions it in blocks of about 1024 bytes, as they would have been read
// one by one, then hands the whole batch on with one write per conduit: the
// readers downstream wake once per batch, not once per block.
//
// Conduit3 carries either the stream or the tuned audio. Before the first bytes
// of either, and before the first stream bytes after every change of conduit1's
// stream (a new rate, channel count or receiver), their format is announced
// there, so the stream recorder finishes a file at the change and starts the
// next one in the new format. The recorder also places marks on Conduit3; an
// announcement waits until the reader has taken the mark before it (neither
// replaces the other).
#include <algorithm>
#include <cstring>

#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "dsp/conditioner.h"
#include "dsp/conduit_write.h"
#include "dsp/tuning_path.h"
#include "dsp/tuning_state.h"
#include "settings/settings.h"

namespace hv {

namespace {

constexpr uint32_t kInputBytes = 1024;               // one block of the conditioner
constexpr uint32_t kMostBlocks = 16;                 // blocks taken per wake-up at most
constexpr uint32_t kMostBytes = kMostBlocks * kInputBytes;

// Bytes of one block: 1024, less any part of a frame (3-channel frames of 6
// bytes do not divide 1024; a block must not end inside a frame).
inline uint32_t BlockBytes(uint32_t bytesPerFrame) { return kInputBytes - kInputBytes % bytesPerFrame; }

struct ConditioningWork {
  alignas(16) uint8_t input[kMostBytes];
  alignas(16) float output[kMostBlocks * Conditioner::kBlockSamples];
  alignas(16) int16_t audio16[TuningPath::kOutputCapacity];
  Conditioner conditioner;
  bool recordAudio = false;  // Audio record mode: the tuned audio also goes to Conduit3
  WaveFormat stream;             // conduit1's format in force
  bool streamChanged = true;     // conduit1's stream changed since Conduit3 last heard of it
  WaveFormat recordFormat;       // the format last announced on Conduit3
  bool recordAnnounced = false;  // whether any was
};

// Announces `format` on Conduit3 unless it is the one in force there (and,
// for the stream, no change of conduit1 is due). Waits in 1 ms steps behind a
// mark the reader has not yet taken, while the run flag stands.
void AnnounceOnConduit3(ConditioningWork* work, const WaveFormat& format, bool force) {
  WaveFormat f = format;
  f.extraSize = 0;
  if (!force && work->recordAnnounced && work->recordFormat == f) return;
  while (!conduit3.TryAnnounceFormat(f)) {
    if (!IsRunning() || !conduit3.IsCreated()) return;
    SleepSeconds(0.001);
  }
  work->recordFormat = f;
  work->recordAnnounced = true;
}

void AnnounceStreamOnConduit3(ConditioningWork* work) {
  AnnounceOnConduit3(work, work->stream, work->streamChanged);
  work->streamChanged = false;
}

// Float audio to 16 bits as the sound output converts it: truncation toward
// zero, limited to -32768..32767.
inline int16_t AudioToSample(float v) {
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
  if (!(v == v)) return 0;
  return static_cast<int16_t>(v);
}

// Sink of the tuning path, on the conditioning thread.
void WriteAudio(void* context, const float* samples, uint32_t count) {
  ConditioningWork* work = static_cast<ConditioningWork*>(context);
  WriteWhileRunning(conduit2, samples, count * 4);
  if (work->recordAudio) {
    AnnounceOnConduit3(work, MakeWaveFormat(44100, 1, 2, 16), false);
    for (uint32_t i = 0; i < count; ++i) work->audio16[i] = AudioToSample(samples[i]);
    WriteWhileRunning(conduit3, work->audio16, count * 2);
  }
}

// Limits for the new rate, and TuneFrequency brought inside them.
void ApplyTuningLimits(float rate) {
  float lower, upper;
  TuningLimitsFor(rate, g_playbackActive.load(std::memory_order_relaxed), &lower, &upper);
  g_tuneLowerLimit.store(lower, std::memory_order_relaxed);
  g_tuneUpperLimit.store(upper, std::memory_order_relaxed);
  float tune = g_settings.TuneFrequency.load(std::memory_order_relaxed);
  if (tune < lower) tune = lower;
  if (tune > upper) tune = upper;
  g_settings.TuneFrequency.store(tune, std::memory_order_relaxed);
}

}  // namespace

// Runs on the conditioning worker thread until the run flag falls.
int ConditioningThread(void*) {
  ConditioningWork* work = new ConditioningWork;
  // The format in force, nothing taken: a receiver that announced its own
  // before this thread started is met as a format change by the first read,
  // like any later one (frame size, downstream announcements, limits).
  const WaveFormat* initial = conduit1.CurrentFormat();
  if (initial) work->stream = *initial;
  float rate = initial && initial->sampleRate ? static_cast<float>(initial->sampleRate) : 250000.0f;
  uint32_t bytesPerFrame = initial && initial->blockAlign >= 2 ? initial->blockAlign : 2;
  WaveFormat* format = nullptr;
  TuningPath* tuning = new TuningPath(rate, CurrentTuneFrequency());

  while (IsRunning()) {
    // Whole blocks of what waits (a format mark may end the batch sooner).
    const uint32_t block = BlockBytes(bytesPerFrame);
    uint32_t want = conduit1.Available();
    want = want < kMostBytes ? want - want % block : kMostBytes - kMostBytes % block;
    if (want == 0) want = block;  // nothing yet: a read that fails asks the wait for a block
    uint32_t got = 0;
    uint32_t status = conduit1.Read(want, work->input, &got);
    if (status == kStatusNotInitialized) {
      // Format change: new rate and frame size, redesign, re-announce, limits.
      format = conduit1.TakeFormat();
      if (format) {
        rate = static_cast<float>(format->sampleRate);
        bytesPerFrame = format->blockAlign >= 2 ? format->blockAlign : 2;
        tuning->FormatChange(rate, CurrentTuneFrequency());
        conduit4.AnnounceFormat(*format);
        conduit5.AnnounceFormat(*format);
        conduit2.AnnounceFormat(MakeWaveFormat(44100, 1, 4, 32));
        ApplyTuningLimits(rate);
        work->stream = *format;
        work->streamChanged = true;
        // In the stream's record modes at once, so that a recording switched on
        // from now on marks its start behind the change.
        const int mode = g_settings.MenuRecordMode.load(std::memory_order_relaxed);
        if (mode == kModeContinuous || mode == kModeBufferedSnap) AnnounceStreamOnConduit3(work);
      }
      got = 0;
    } else if (status != kStatusOk) {
      DiagPrint("Error reading conduit1\n");
      got = 0;
    }
    const uint32_t count = got / bytesPerFrame;
    if (count == 0) {
      conduit1.WaitReadable(kReaderIdleWaitMs, block);
      continue;
    }

    ResponseFilter filter = ChooseResponseFilter(g_playbackActive.load(std::memory_order_relaxed),
                                                 g_settings.MenuPrefilter.load(std::memory_order_relaxed),
                                                 g_fileCompensated.load(std::memory_order_relaxed));
    const int mode = g_settings.MenuRecordMode.load(std::memory_order_relaxed);
    const bool audio = g_settings.AudioOn.load(std::memory_order_relaxed);
    work->recordAudio = mode == kModeAudio;
    // Block by block: the conditioner, then the tuning path on that block.
    for (uint32_t at = 0; at < count;) {
      const uint32_t frames = std::min(count - at, block / bytesPerFrame);
      work->conditioner.Process(work->input + at * bytesPerFrame, frames, bytesPerFrame, filter, work->output + at);
      if (audio)
        tuning->ProcessBlock(work->output + at, frames, CurrentTuneFrequency(),
                             g_settings.AudioVolume.load(std::memory_order_relaxed), WriteAudio, work);
      at += frames;
    }

    // Fan-out of the batch; each write waits for room while the run flag stands.
    if (g_traceShown.load(std::memory_order_relaxed) && g_drawingSeen.load(std::memory_order_relaxed))
      WriteWhileRunning(conduit4, work->output, count * 4);
    WriteWhileRunning(conduit5, work->output, count * 4);
    if (mode == kModeContinuous || mode == kModeBufferedSnap) {
      AnnounceStreamOnConduit3(work);
      WriteWhileRunning(conduit3, work->input, count * bytesPerFrame);
    }
    YieldThread();
  }
  delete tuning;
  delete work;
  return 0;
}

}  // namespace hv
