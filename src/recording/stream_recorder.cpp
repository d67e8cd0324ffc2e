#include "recording/stream_recorder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/file_ops.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "recording/record_paths.h"
#include "recording/recorder_texts.h"
#include "recording/recording_start.h"
#include "settings/settings.h"

namespace hv {

namespace {
int Mode() { return g_settings.MenuRecordMode.load(std::memory_order_relaxed); }
bool RecordOn() { return g_recordOn.load(std::memory_order_relaxed); }
float SnapSeconds() { return float(g_settings.SnapDurationMS.load(std::memory_order_relaxed)) / 1000.0f; }
int64_t StartMs(const StreamTime& t) { return int64_t(t.utcSeconds) * 1000 + t.milliseconds; }
}  // namespace

StreamRecorder::StreamRecorder(Conduit* input) : input_(input) { ConfigureDelay(); }

WaveFormat StreamRecorder::StreamFormat() {
  const WaveFormat* f = input_->CurrentFormat();
  return f ? *f : MakeWaveFormat(250000, 1, 2, 16);
}

// The delay line follows the stream's format and the snapshot duration; a new
// configuration empties it.
void StreamRecorder::ConfigureDelay() {
  const WaveFormat f = StreamFormat();
  const float seconds = SnapSeconds();
  delay_.SetFormat(f);
  delay_.SetDelay(seconds);
}

void StreamRecorder::SetState(int state) {
  state_ = state;
  g_streamRecorderState.store(state, std::memory_order_relaxed);
}

void StreamRecorder::Fail(const char* message) {
  if (message) DiagPrint("%s", message);
  SetState(kStreamFailed);
  SetRecordStatusLine("Status : Failed");
}

// Runs on the stream recording thread.
bool StreamRecorder::Pass() {
  uint32_t got = 0;
  const uint32_t status = input_->Read(kChunkBytes, chunk_, &got);
  if (status == kStatusNotInitialized) {
    got = 0;
    input_->TakeFormat();
    // While the recorder's own mark is pending nobody else can announce, so in
    // AwaitMark this is that mark; anywhere else it is the writer's new format.
    if (state_ == kStreamAwaitMark) AwaitSamples();
    else StreamFormatChanged();
  } else if (status != kStatusOk) {
    got = 0;
    if (!failureReported_) DiagPrint("Conduit3 uninitialized\n");
    failureReported_ = true;
  }
  const bool read = got > 0;
  if (read && Mode() == kModeBufferedSnap && !delay_.Process(chunk_, got)) got = 0;
  Step(got);
  return read;
}

void StreamRecorder::AwaitSamples() {
  start_ = RecordingStartTime();
  SetState(kStreamOpening);
}

void StreamRecorder::StreamFormatChanged() {
  switch (state_) {
    case kStreamOpening:
      // No sample yet: the recording starts with the new stream, and its time
      // with it.
      ConfigureDelay();
      AwaitSamples();
      break;
    case kStreamRecording:
      if (mode_ == kModeBufferedSnap) {
        // The snapshot ends at its mark, before the change: the rest of it is
        // the oldest part of the delay line (which is full while recording).
        while (state_ == kStreamRecording && bytesToRecord_ > 0 && delay_.Delays()) {
          const uint32_t block = std::max<uint32_t>(1, delay_.Format().blockAlign);
          uint32_t n = uint32_t(std::min<int64_t>(bytesToRecord_, kChunkBytes));
          n -= n % block;
          if (n == 0) break;
          std::memset(chunk_, 0, n);
          if (!delay_.Process(chunk_, n) || !WriteChunk(n)) break;
        }
        if (state_ == kStreamRecording) SetState(kStreamClosing);
        ConfigureDelay();
      } else if (RecordOn() && Mode() == mode_) {
        // The recording goes on in a new file of the new format.
        if (!CloseAndRename(false)) break;
        AwaitSamples();
      } else {
        SetState(kStreamClosing);
      }
      break;
    default:
      ConfigureDelay();
      break;
  }
}

bool StreamRecorder::OpenFile(bool rollOver) {
  record_ = FormatWithAttribute();
  record_.format = StreamFormat();
  record_.format.extraSize = 0;
  hasAttribute_ = false;
  StreamTime start = start_;
  // A file that continues a rolled-over recording starts after the previous
  // one, taking the next millisecond when the clock has not moved on.
  if (rollOver && StartMs(start) <= lastStartMs_) {
    start.utcSeconds = std::time_t((lastStartMs_ + 1) / 1000);
    start.milliseconds = int((lastStartMs_ + 1) % 1000);
  }
  lastStartMs_ = StartMs(start);
  if (mode_ != kModeAudio) {
    // Continuous and Buffered Snap: the header carries the time-expanded rate,
    // the attribute the real one. Audio keeps the stream's rate, no attribute.
    const int64_t expansion = std::max(1, g_settings.SnapTimeExpand.load(std::memory_order_relaxed));
    const uint32_t realRate = record_.format.sampleRate;
    const uint32_t headerRate = uint32_t(realRate / expansion);
    record_.format.sampleRate = headerRate;
    record_.format.avgBytesPerSec = record_.format.blockAlign * headerRate;
    attribute_ = GatherAttributeInputs(headerRate, expansion, realRate, start);
    record_.SetAttribute(ComposeAttribute(attribute_));
    hasAttribute_ = true;
  }
  // A snapshot is one delay line long: the stream of the duration before its mark.
  if (mode_ == kModeBufferedSnap) bytesToRecord_ = delay_.Length();

  const std::string base = g_recordBasePath.Get();
  wavPack_ = IsWavPackFormat(g_settings.OutputFileFormat.load(std::memory_order_relaxed));
  const int timeStandard = g_settings.TimeStandard.load(std::memory_order_relaxed);
  RecordingNames names = MakeRecordingNames(base, start, wavPack_, timeStandard);
  temporary_ = names.temporary;
  final_ = names.final;
  File()->SetGuanoMetadata(g_settings.GuanoMetadata.load(std::memory_order_relaxed));
  errno = 0;
  if (File()->Open(temporary_.c_str(), &record_, RecordingFile::kWrite) != kFileOk) {
    const int reason = errno;
    DiagPrint("Failed opening file %s: %s\n", base.c_str(),
              reason ? std::strerror(reason) : "the file could not be created");
    return false;
  }
  return true;
}

bool StreamRecorder::CloseAndRename(bool settle) {
  if (File()->Close() != kFileOk) {
    Fail("Failed closing wave file\n");
    return false;
  }
  if (RenameRecording(temporary_, final_, settle)) lastFinished_ = final_;
  return true;
}

// Writes `count` bytes of the chunk; false when the recording failed.
bool StreamRecorder::WriteChunk(uint32_t count) {
  if (mode_ == kModeBufferedSnap && int64_t(count) > bytesToRecord_)
    count = uint32_t(bytesToRecord_ > 0 ? bytesToRecord_ : 0);  // exactly the bytes to record
  if (mode_ != kModeBufferedSnap && File()->DataBytes() + count > kMaxRecordingDataBytes) {
    // The file is full: finish it and go on in a new one at once (no settling
    // pause, so the stream does not back up).
    if (!CloseAndRename(false)) return false;
    start_ = RecordingStartTime();
    if (!OpenFile(true)) {
      Fail(nullptr);
      return false;
    }
  }
  uint32_t taken = 0;
  if (File()->Write(count, chunk_, &taken) != kFileOk || taken != count) {
    Fail("Failed writing wave file\n");
    return false;
  }
  if (mode_ == kModeBufferedSnap) {
    bytesToRecord_ -= taken;
    if (bytesToRecord_ <= 0) SetState(kStreamClosing);
  }
  return true;
}

void StreamRecorder::Step(uint32_t got) {
  switch (state_) {
    case kStreamIdle: {
      const int mode = Mode();
      if (delay_.FormatChanged(StreamFormat()) || delay_.DelayChanged(SnapSeconds())) ConfigureDelay();
      // The start mark; refused while a format change is on its way to the
      // reader (it is tried again on the next pass, after the change).
      if (RecordOn() && mode != kModeAutoSnap && input_->PlaceMark()) {
        mode_ = mode;
        failureReported_ = false;
        SetState(kStreamAwaitMark);
      }
      break;
    }
    case kStreamAwaitMark:
      break;  // chunks before the mark are dropped
    case kStreamOpening:
      if (got > 0) {
        if (!OpenFile(false)) {
          Fail(nullptr);
          break;
        }
        SetState(kStreamRecording);
        SetRecordStatusLine("Status : RECORDING");
        SetRecordFileLine(FileNamePart(g_recordBasePath.Get()));
        WriteChunk(got);
      } else if (!RecordOn() || Mode() != mode_) {
        // Record went off (or the mode changed) before the stream came.
        SetRecordStatusLine("Status : Stopped...");
        SetState(kStreamIdle);
      }
      break;
    case kStreamRecording:
      if (got > 0) {
        WriteChunk(got);
      } else if (!RecordOn() || Mode() == kModeAutoSnap) {
        SetState(kStreamClosing);
      }
      break;
    case kStreamClosing:
      if (!CloseAndRename()) break;
      if (mode_ == kModeBufferedSnap && RecordOn()) PerformRecordStop();
      SetRecordStatusLine("Status : Stopped...");
      SetState(kStreamIdle);
      break;
    case kStreamFailed:
      if (!RecordOn()) SetState(kStreamIdle);
      break;
  }
}

void StreamRecorder::Abandon() {
  if (File()->IsOpen()) File()->Close();
  SetState(kStreamIdle);
}

}  // namespace hv
