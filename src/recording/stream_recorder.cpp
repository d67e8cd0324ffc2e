#include "recording/stream_recorder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/file_ops.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "recording/record_paths.h"
#include "recording/recording_failure.h"
#include "recording/recorder_texts.h"
#include "recording/recording_start.h"
#include "settings/settings.h"

namespace hv {

namespace {
int Mode() { return g_settings.MenuRecordMode.load(std::memory_order_relaxed); }
bool RecordOn() { return g_recordOn.load(std::memory_order_relaxed); }
float SnapSeconds() { return float(g_settings.SnapDurationMS.load(std::memory_order_relaxed)) / 1000.0f; }
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

void StreamRecorder::Fail(const char* message, const std::string& what, bool fileLeft) {
  if (message) DiagPrint("%s", message);
  SetState(kStreamFailed);
  ReportRecordingFailed(what, File()->SystemError(), fileLeft ? temporary_ : std::string());
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

bool StreamRecorder::OpenFile() {
  record_ = FormatWithAttribute();
  record_.format = StreamFormat();
  record_.format.extraSize = 0;
  hasAttribute_ = false;
  const StreamTime start = start_;
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
  kind_ = &RecordingKindForOutputFormat(g_settings.OutputFileFormat.load(std::memory_order_relaxed));
  const int timeStandard = g_settings.TimeStandard.load(std::memory_order_relaxed);
  File()->SetGuanoMetadata(g_settings.GuanoMetadata.load(std::memory_order_relaxed));
  // A name already taken (a file that continues a rolled-over recording while
  // the clock has not moved on, a clock set back) moves on to the next free
  // millisecond; the attribute's UTC field follows it.
  const FreeNameResult opened =
      OpenUnderFreeName(base, start, *kind_, timeStandard, &names_, [&](const StreamTime& at, const RecordingNames& n) {
        if (hasAttribute_) {
          attribute_.start = at;
          record_.SetAttribute(ComposeAttribute(attribute_));
        }
        return File()->Open(n.temporary.c_str(), &record_, RecordingFile::kWrite);
      });
  temporary_ = opened.names.temporary;
  final_ = opened.names.final;
  if (opened.status != kFileOk) {
    const bool noName = opened.status == kFileExists;
    const int error = File()->SystemError();
    DiagPrint("Failed opening file %s: %s\n", base.c_str(),
              noName ? "no free name" : error ? std::strerror(error) : "the file could not be created");
    Fail(nullptr, noName ? "no free name near " + FileNamePart(temporary_) : "could not create " + FileNamePart(temporary_),
         false);
    return false;
  }
  return true;
}

bool StreamRecorder::CloseAndRename(bool settle, bool* renamed) {
  if (renamed) *renamed = false;
  if (File()->Close() != kFileOk) {
    Fail("Failed closing wave file\n", "could not close it", true);
    return false;
  }
  int error = 0;
  if (!RenameRecording(temporary_, final_, settle, &error)) {
    // Closed and whole, but under its temporary name: reported, and the
    // stream goes on (a roll-over continues in the next file).
    ReportRecordingFailed("could not rename it to " + FileNamePart(final_), error, temporary_);
    return true;
  }
  lastFinished_ = final_;
  if (renamed) *renamed = true;
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
    if (!OpenFile()) return false;
  }
  uint32_t taken = 0;
  if (File()->Write(count, chunk_, &taken) != kFileOk || taken != count) {
    Fail("Failed writing wave file\n", "could not write it", true);
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
        if (!OpenFile()) break;
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
    case kStreamClosing: {
      bool renamed = false;
      if (!CloseAndRename(true, &renamed)) break;
      if (mode_ == kModeBufferedSnap && RecordOn()) PerformRecordStop();
      if (renamed) SetRecordStatusLine("Status : Stopped...");  // else the line says why it is not finished
      SetState(kStreamIdle);
      break;
    }
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
