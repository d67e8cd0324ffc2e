#include "recording/auto_snap_recorder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/file_ops.h"
#include "core/le_bytes.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "recording/record_paths.h"
#include "recording/recorder_texts.h"
#include "recording/recording_failure.h"
#include "recording/recording_start.h"
#include "settings/settings.h"

namespace hv {

namespace {
int Mode() { return g_settings.MenuRecordMode.load(std::memory_order_relaxed); }
bool RecordOn() { return g_recordOn.load(std::memory_order_relaxed); }
bool IdleTimeoutOn() { return g_settings.SnapIdleTimeoutEnable.load(std::memory_order_relaxed); }
int TimeStandard() { return g_settings.TimeStandard.load(std::memory_order_relaxed); }

std::atomic<SnapshotFinishedHook> s_snapshotFinished{nullptr};
}  // namespace

void SetSnapshotFinishedHook(SnapshotFinishedHook hook) { s_snapshotFinished.store(hook, std::memory_order_relaxed); }

AutoSnapRecorder::AutoSnapRecorder(Conduit* input)
    : input_(input), streamRate_(g_deviceSampleRate.load(std::memory_order_relaxed)) {
  StartWindow();
}

// The window starts with kLookAhead placeholders: the stream's first frames are
// tested as decision frames at once, and a snapshot they trigger starts with
// the first frame of the stream (its look-behind is shorter, never older).
void AutoSnapRecorder::StartWindow() {
  std::memset(window_, 0, sizeof window_);
  held_ = placeholders_ = kLookAhead;
}

bool AutoSnapRecorder::Triggered(const SpectrumFrame& d) {
  const bool automatic = g_settings.SnapAutoTrigger.load(std::memory_order_relaxed);
  const float level = automatic ? d.peakLevel - d.noiseFloor : d.peakLevel;
  const float threshold = automatic ? g_settings.SnapAutoThreshold.load(std::memory_order_relaxed)
                                    : g_settings.SonoThreshold.load(std::memory_order_relaxed);
  if (!(level > threshold)) return false;
  if (g_settings.PopFilterEnable.load(std::memory_order_relaxed) && !(d.harmonicRatio >= 4.9f)) return false;
  return true;
}

int16_t AutoSnapRecorder::ConvertSample(float x) {
  if (!(x == x)) return 0;  // not a number
  if (x >= 32767.0f) return 32767;
  if (x <= -32767.0f) return -32767;
  return static_cast<int16_t>(x);  // truncation toward zero
}

void AutoSnapRecorder::SetState(int state) {
  state_ = state;
  g_autoSnapState.store(state, std::memory_order_relaxed);
}

void AutoSnapRecorder::Fail(const std::string& what, int systemError, bool fileLeft) {
  SetState(kSnapFailed);
  if (!failureReported_) ReportRecordingFailed(what, systemError, fileLeft ? temporary_ : std::string());
  failureReported_ = true;
}

// Runs on the Auto Snap recording thread.
bool AutoSnapRecorder::Pass() {
  uint32_t got = 0;
  uint32_t status =
      input_->Read(uint32_t(kReadFrames * sizeof(SpectrumFrame)), reinterpret_cast<uint8_t*>(&window_[held_]), &got);
  if (status == kStatusNotInitialized) {
    if (const WaveFormat* f = input_->TakeFormat()) StreamChanged(*f);
    return false;
  }
  if (status != kStatusOk || got == 0) return false;
  held_ += int(got / sizeof(SpectrumFrame));
  int i = 0;
  for (; i + kLookAhead < held_; ++i) {
    Step(i < placeholders_ ? nullptr : &window_[i], window_[i + kLookAhead]);
    logClock_ -= 64;
  }
  placeholders_ = std::max(0, placeholders_ - i);
  // Frames not yet consumed move to the front.
  std::memmove(window_, window_ + i, size_t(held_ - i) * sizeof(SpectrumFrame));
  held_ -= i;
  return true;
}

// Every frame read before the announcement is of the old stream. A snapshot in
// progress takes the held frames' samples it still wants and is finished at the
// change, so it holds the old stream only; the window then starts afresh, so
// the look-behind of the next trigger reaches back to the change at most.
void AutoSnapRecorder::StreamChanged(const WaveFormat& format) {
  for (int i = placeholders_; i < held_ && state_ == kSnapRecording; ++i) RecordingStep(&window_[i], nullptr);
  if (state_ == kSnapRecording) {
    ending_ = "Status : Finished...";
    SetState(kSnapClosing);
  }
  if (state_ == kSnapClosing) ClosingStep();
  StartWindow();
  if (format.sampleRate != 0) streamRate_ = format.sampleRate;
}

void AutoSnapRecorder::Idle() {
  switch (state_) {
    case kSnapIdle:
      IdleStep(nullptr);
      break;
    case kSnapRecording:
      if (!RecordOn() || Mode() != kModeAutoSnap) {
        ending_ = "Status : Stopped";
        SetState(kSnapClosing);
        ClosingStep();
      }
      break;
    case kSnapClosing:
      ClosingStep();
      break;
    case kSnapFailed:
      if (!RecordOn()) SetState(kSnapIdle);
      break;
  }
}

void AutoSnapRecorder::Step(const SpectrumFrame* audio, const SpectrumFrame& decision) {
  switch (state_) {
    case kSnapIdle:
      IdleStep(&decision);
      // A snapshot opened on this frame starts with this (look-behind) frame's
      // samples, so it holds 1024 samples from before the triggering frame.
      if (state_ == kSnapRecording) RecordingStep(audio, &decision);
      break;
    case kSnapRecording:
      RecordingStep(audio, &decision);
      break;
    case kSnapClosing:
      ClosingStep();
      break;
    case kSnapFailed:
      if (!RecordOn()) SetState(kSnapIdle);
      break;
  }
}

void AutoSnapRecorder::IdleStep(const SpectrumFrame* decision) {
  const bool on = RecordOn();
  const int mode = Mode();
  if (decision && on && mode == kModeAutoSnap && Triggered(*decision)) {
    if (OpenSnapshot()) SetState(kSnapRecording);
    return;
  }
  if (on != lastSwitch_) {
    if (mode == kModeAutoSnap) {
      const StreamTime now = RecordingStartTime();
      AppendDailyLog("record status: ", NameTime(now, TimeStandard()), on ? "STARTED" : "STOPPED");
      if (on) ObserveHour(StreamSeconds(now));
    }
    if (!on) CloseHour();
    lastSwitch_ = on;
  } else if (decision && logClock_ < 0) {
    if (on && mode == kModeAutoSnap) {
      const StreamTime now = RecordingStartTime();
      AppendDailyLog("record status: ", NameTime(now, TimeStandard()), "ACTIVE");
      ObserveHour(StreamSeconds(now));
      logClock_ += 60 * int64_t(streamRate_);
    } else {
      logClock_ += int64_t(streamRate_);
    }
  }
}

bool AutoSnapRecorder::OpenSnapshot() {
  const float seconds = float(g_settings.SnapDurationMS.load(std::memory_order_relaxed)) / 1000.0f;
  const float idleSeconds = float(g_settings.SnapIdleTimeoutMS.load(std::memory_order_relaxed)) / 1000.0f;
  remaining_ = int64_t(std::floor(seconds * streamRate_));
  idleCountdown_ = int64_t(std::floor(idleSeconds * streamRate_));
  kind_ = &RecordingKindForOutputFormat(g_settings.OutputFileFormat.load(std::memory_order_relaxed));
  fill_ = 0;

  const int expansion = std::max(1, g_settings.SnapTimeExpand.load(std::memory_order_relaxed));
  const uint32_t headerRate = uint32_t(streamRate_ / expansion);
  FormatWithAttribute record;
  record.format = MakeWaveFormat(headerRate, 1, 2, 16);
  AttributeInputs inputs = GatherAttributeInputs(headerRate, expansion, streamRate_, RecordingStartTime());
  File()->SetGuanoMetadata(g_settings.GuanoMetadata.load(std::memory_order_relaxed));
  File()->SetGuanoExtra("");
  failureReported_ = false;
  // The attribute's UTC field follows the start time the free name shows.
  const FreeNameResult opened = OpenUnderFreeName(
      g_recordBasePath.Get(), inputs.start, *kind_, TimeStandard(), &names_,
      [&](const StreamTime& start, const RecordingNames& names) {
        inputs.start = start;
        record.SetAttribute(ComposeAttribute(inputs));
        return File()->Open(names.temporary.c_str(), &record, RecordingFile::kWrite);
      });
  temporary_ = opened.names.temporary;
  final_ = opened.names.final;
  if (opened.status != kFileOk) {
    const int error = opened.status == kFileExists ? 0 : File()->SystemError();
    DiagPrint("Failed opening file %s: %s\n", temporary_.c_str(),
              opened.status == kFileExists ? "no free name"
              : error                      ? std::strerror(error)
                                           : "the file could not be created");
    Fail(opened.status == kFileExists ? "no free name near " + FileNamePart(temporary_)
                                      : "could not create " + FileNamePart(temporary_),
         error, false);
    return false;
  }
  snapshotStart_ = opened.start;
  snapshotName_ = opened.names.display;
  counting_ = g_settings.CallDetection.load(std::memory_order_relaxed);
  if (counting_) calls_.Start(streamRate_, g_receiverLevelOffset.load(std::memory_order_relaxed));
  SetRecordStatusLine("Status : RECORDING");
  SetRecordFileLine(opened.names.display);
  AppendDailyLog("recording file:", NameTime(opened.start, TimeStandard()), opened.names.display.c_str());
  return true;
}

// Writes the output buffer; false (with the diagnostics) on a failed or short write.
bool AutoSnapRecorder::FlushBuffer(bool closing) {
  if (fill_ == 0) return true;
  uint32_t taken = 0;
  uint32_t status = File()->Write(fill_, out_, &taken);
  bool ok = true;
  if (status != kFileOk && taken == 0) {
    if (closing) DiagPrint("Flush: Failed writing wave file, attempted %d\n", int(fill_));
    else DiagPrint("Failed writing wave file\n");
    ok = false;
  } else if (taken != fill_) {
    if (closing) DiagPrint("Wrote only %d bytes, needed %d\n", int(taken), int(fill_));
    else DiagPrint("ERROR: wrote only %d bytes, needed %d\n", int(taken), int(fill_));
    ok = false;
  }
  fill_ = 0;
  return ok;
}

void AutoSnapRecorder::RecordingStep(const SpectrumFrame* audio, const SpectrumFrame* decision) {
  const int64_t n = !audio ? 0 : remaining_ < 64 ? (remaining_ > 0 ? remaining_ : 0) : 64;
  bool failed = state_ == kSnapFailed;
  if (int64_t(fill_) + 2 * n > int64_t(sizeof out_) && !FlushBuffer(false)) {
    Fail("could not write it", File()->SystemError(), true);
    failed = true;
  }
  float written[64];
  for (int64_t k = 0; k < n; ++k) {
    const int16_t v = ConvertSample(audio->samples[k]);
    PutLe16(out_ + fill_, uint16_t(v));
    fill_ += 2;
    written[k] = v;
  }
  // The detector hears what the file holds, so a file's calls found later are the same.
  if (counting_ && n > 0) calls_.Push(written, size_t(n));
  remaining_ -= n;
  idleCountdown_ -= n;
  const bool idleOn = IdleTimeoutOn();
  if (idleOn && decision && Triggered(*decision)) {
    const float idleSeconds = float(g_settings.SnapIdleTimeoutMS.load(std::memory_order_relaxed)) / 1000.0f;
    idleCountdown_ = int64_t(std::floor(idleSeconds * streamRate_));
  }
  const int mode = Mode();
  // The status line says how the snapshot ended once it has its final name.
  if (mode == kModeAutoSnap && (remaining_ <= 0 || (idleOn && idleCountdown_ <= 0))) {
    ending_ = "Status : Finished...";
    SetState(kSnapClosing);
  } else if (!failed && (!RecordOn() || mode != kModeAutoSnap)) {
    ending_ = "Status : Stopped";
    SetState(kSnapClosing);
  }
}

void AutoSnapRecorder::ClosingStep() {
  SnapshotCallCount found;
  if (counting_) {
    found = calls_.Finish();
    File()->SetGuanoExtra(found.GuanoLines());
  }
  const bool flushed = FlushBuffer(true);
  const bool closed = File()->Close() == kFileOk;
  if (!flushed || !closed) {
    // Samples are missing or the headers are not complete: not a finished file.
    if (!closed) DiagPrint("ERROR: Failed closing wave file\n");
    Fail(flushed ? "could not close it" : "could not write it", File()->SystemError(), true);
    return;
  }
  if (counting_) {
    // The calls were heard whether or not the file gets its final name.
    AppendDailyLog("recording calls:", NameTime(snapshotStart_, TimeStandard()),
                   found.LogDetail(snapshotName_).c_str());
    hours_.SetTimeStandard(TimeStandard(), snapshotStart_.biasMinutes);
    HourlyCallTally::Line done;
    for (const CallMeasure& c : found.calls)
      if (hours_.AddCall(StreamSeconds(snapshotStart_) + c.startS, StreamSeconds(snapshotStart_) + c.endS, &done))
        LogHour(done);
    counting_ = false;
  }
  int error = 0;
  if (RenameRecording(temporary_, final_, true, &error)) {
    lastFinished_ = final_;
    SetRecordStatusLine(ending_.c_str());
    if (SnapshotFinishedHook finished = s_snapshotFinished.load(std::memory_order_relaxed)) finished(final_);
  } else {
    ReportRecordingFailed("could not rename it to " + FileNamePart(final_), error, temporary_);
  }
  SetState(kSnapIdle);
}

void AutoSnapRecorder::Abandon() {
  if (File()->IsOpen()) File()->Close();
  SetState(kSnapIdle);
  CloseHour();
}

void AutoSnapRecorder::ObserveHour(double now) {
  if (!g_settings.CallDetection.load(std::memory_order_relaxed)) {
    CloseHour();
    return;
  }
  hours_.SetTimeStandard(TimeStandard(), RecordingStartTime().biasMinutes);
  HourlyCallTally::Line done;
  if (hours_.Observe(now, &done)) LogHour(done);
}

void AutoSnapRecorder::CloseHour() {
  HourlyCallTally::Line done;
  if (hours_.Close(&done)) LogHour(done);
}

void AutoSnapRecorder::LogHour(const HourlyCallTally::Line& line) {
  AppendDailyLog("calls in hour:", line.hour, line.Detail().c_str());
}

}  // namespace hv
