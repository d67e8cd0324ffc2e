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
}  // namespace

StreamRecorder::StreamRecorder(Conduit* input) : input_(input) {
  delay_.SetFormat(ModeFormat(Mode()));
  delay_.SetDelay(SnapSeconds());
}

WaveFormat StreamRecorder::ModeFormat(int mode) {
  if (mode == kModeAudio) return MakeWaveFormat(44100, 1, 2, 16);
  bool replay = g_playbackActive.load(std::memory_order_relaxed);
  float rate = replay ? g_playbackStreamRate.load(std::memory_order_relaxed)
                      : g_deviceSampleRate.load(std::memory_order_relaxed);
  int channels = replay ? g_playbackStreamChannels.load(std::memory_order_relaxed)
                        : g_deviceChannels.load(std::memory_order_relaxed);
  if (channels < 1) channels = 1;
  return MakeWaveFormat(rate > 0 ? uint32_t(rate) : 0, uint16_t(channels), uint16_t(channels * 2), 16);
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
  uint32_t status = input_->Read(kChunkBytes, chunk_, &got);
  if (status == kStatusNotInitialized) {
    got = 0;
    if (state_ == kStreamAwaitMark) {
      SetState(kStreamOpening);
    } else {
      if (state_ == kStreamRecording) SetState(kStreamClosing);
      else if (!uninitialisedReported_) DiagPrint("Conduit3 uninitialized\n");
      uninitialisedReported_ = true;
      // A format announced by someone else: take it so the stream goes on.
      input_->TakeFormat();
    }
  } else if (status != kStatusOk) {
    got = 0;
    if (!uninitialisedReported_) DiagPrint("Conduit3 uninitialized\n");
    uninitialisedReported_ = true;
  }
  const bool read = got > 0;
  if (read && Mode() == kModeBufferedSnap && !delay_.Process(chunk_, got)) got = 0;
  Step(got);
  return read;
}

bool StreamRecorder::OpenFile(bool rollOver) {
  const std::string base = g_recordBasePath.Get();
  StreamTime start = RecordingStartTime();
  wavPack_ = IsWavPackFormat(g_settings.OutputFileFormat.load(std::memory_order_relaxed));
  const int timeStandard = g_settings.TimeStandard.load(std::memory_order_relaxed);
  // A file that continues a rolled-over recording starts after the previous
  // one, taking the next millisecond when the clock has not moved on.
  const int64_t startMs = int64_t(start.utcSeconds) * 1000 + start.milliseconds;
  if (rollOver && startMs <= lastStartMs_) {
    start.utcSeconds = std::time_t((lastStartMs_ + 1) / 1000);
    start.milliseconds = int((lastStartMs_ + 1) % 1000);
  }
  lastStartMs_ = int64_t(start.utcSeconds) * 1000 + start.milliseconds;
  RecordingNames names = MakeRecordingNames(base, start, wavPack_, timeStandard);
  if (hasAttribute_) {
    attribute_.start = start;
    record_.SetAttribute(ComposeAttribute(attribute_));
  }
  temporary_ = names.temporary;
  final_ = names.final;
  fileBytes_ = 0;
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

void StreamRecorder::Step(uint32_t got) {
  switch (state_) {
    case kStreamIdle: {
      const int mode = Mode();
      const WaveFormat f = ModeFormat(mode);
      const float seconds = SnapSeconds();
      if (delay_.FormatChanged(f) || delay_.DelayChanged(seconds)) {
        delay_.SetFormat(f);
        delay_.SetDelay(seconds);
      }
      if (RecordOn() && mode != kModeAutoSnap) {
        input_->AnnounceFormat(ModeFormat(mode));  // the start mark
        if (mode == kModeBufferedSnap) bytesToRecord_ = int64_t(std::floor(seconds * float(f.avgBytesPerSec)));
        mode_ = mode;
        uninitialisedReported_ = false;
        SetState(kStreamAwaitMark);
      }
      break;
    }
    case kStreamAwaitMark:
      break;  // chunks before the mark are dropped
    case kStreamOpening: {
      record_ = FormatWithAttribute();
      if (const WaveFormat* f = input_->TakeFormat()) record_.format = *f;
      record_.format.extraSize = 0;
      hasAttribute_ = false;
      const int64_t expansion = std::max(1, g_settings.SnapTimeExpand.load(std::memory_order_relaxed));
      if (mode_ != kModeAudio) {
        const uint32_t realRate = record_.format.sampleRate;
        const uint32_t headerRate = uint32_t(realRate / expansion);
        record_.format.sampleRate = headerRate;
        record_.format.avgBytesPerSec = record_.format.blockAlign * headerRate;
        attribute_ = GatherAttributeInputs(headerRate, expansion, realRate, StreamTime());
        hasAttribute_ = true;
      }
      if (!OpenFile(false)) {
        Fail(nullptr);
        break;
      }
      SetState(kStreamRecording);
      SetRecordStatusLine("Status : RECORDING");
      SetRecordFileLine(FileNamePart(g_recordBasePath.Get()));
      break;
    }
    case kStreamRecording:
      if (got > 0) {
        uint32_t count = got;
        if (mode_ == kModeBufferedSnap && int64_t(count) > bytesToRecord_)
          count = uint32_t(bytesToRecord_ > 0 ? bytesToRecord_ : 0);  // exactly the bytes to record
        if (mode_ != kModeBufferedSnap && fileBytes_ + count > rollOverBytes_) {
          // The file is full: finish it and go on in a new one at once (no
          // settling pause, so the stream does not back up).
          if (!CloseAndRename(false)) break;
          if (!OpenFile(true)) {
            Fail(nullptr);
            break;
          }
        }
        uint32_t taken = 0;
        if (File()->Write(count, chunk_, &taken) != kFileOk || taken != count) {
          Fail("Failed writing wave file\n");
          break;
        }
        fileBytes_ += taken;
        if (mode_ == kModeBufferedSnap) {
          bytesToRecord_ -= taken;
          if (bytesToRecord_ <= 0) SetState(kStreamClosing);
        }
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
