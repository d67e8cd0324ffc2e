// The Auto Snap recorder: tests every analysis frame of conduit7 against the
// spectral trigger and records snapshots that start 16 frames (1024 samples)
// before the triggering frame (never before the stream's start or its last
// change of format), for the snapshot duration or until the idle timeout. A
// change of the stream's format finishes a snapshot in progress. It also
// writes the daily log's record-status lines and, with CallDetection on, the
// calls found in each snapshot (GUANO and daily log) and per hour.
//
// The frames are the analysis frames of dsp/analysis_frame.h: the trigger
// tests their peak, floor and harmonic ratio; their samples are recorded.
#pragma once

#include <cstdint>
#include <string>

#include "core/conduit.h"
#include "dsp/analysis_frame.h"
#include "formats/format_record.h"
#include "formats/recording_kinds.h"
#include "recording/free_recording_name.h"
#include "recording/record_control.h"
#include "recording/snapshot_calls.h"

namespace hv {

// Called on the Auto Snap recording thread with the final name of each
// snapshot right after its rename (not for a snapshot that failed). The
// application installs the snapshot picture writer here before the workers
// start; with none installed nothing more happens.
using SnapshotFinishedHook = void (*)(const std::string& recording);
void SetSnapshotFinishedHook(SnapshotFinishedHook hook);

class AutoSnapRecorder {
 public:
  static constexpr int kWindowFrames = 24;
  static constexpr int kLookAhead = 16;
  static constexpr int kReadFrames = 8;

  explicit AutoSnapRecorder(Conduit* input);

  // One pass of the thread loop: reads up to 8 frames and runs the state step
  // for each frame whose look-ahead frame has arrived. False when none was read.
  bool Pass();
  // A pass without frames: a snapshot whose Record switch went off (or whose
  // mode changed) is still closed and renamed, and the switch change is logged.
  void Idle();
  int State() const { return state_; }
  double StreamRate() const { return streamRate_; }
  const std::string& LastFinishedName() const { return lastFinished_; }
  // Closes an open file (thread end): it keeps its temporary name.
  void Abandon();

  // The trigger test on a decision frame (strict comparisons, pop filter 4.9 dB).
  static bool Triggered(const SpectrumFrame& decision);
  // Float sample to 16 bits: truncated toward zero, clamped to +/-32767.
  static int16_t ConvertSample(float x);

 private:
  // `audio` is null for a placeholder frame (before the stream's first frame).
  void Step(const SpectrumFrame* audio, const SpectrumFrame& decision);
  void IdleStep(const SpectrumFrame* decision);
  // `decision` is null for frames whose look-ahead frame will never come (the
  // stream changed): they cannot restart the idle countdown.
  void RecordingStep(const SpectrumFrame* audio, const SpectrumFrame* decision);
  void StreamChanged(const WaveFormat& format);
  void StartWindow();
  // Calls: the finished snapshot's into its GUANO and the daily log; the hour's
  // tally observed at `now` (seconds) and written when its hour is over.
  void FinishCalls();
  void ObserveHour(double now);
  void CloseHour();
  void LogHour(const HourlyCallTally::Line& line);
  void ClosingStep();
  bool OpenSnapshot();
  bool FlushBuffer(bool closing);
  void SetState(int state);
  // Goes to Failed and reports the snapshot as not finished (once per snapshot).
  void Fail(const std::string& what, int systemError, bool fileLeft);
  RecordingFile* File() { return files_.Of(*kind_); }

  Conduit* input_;
  SpectrumFrame window_[kWindowFrames];
  int held_ = 0;
  int placeholders_ = 0;  // leading window frames that stand before the stream
  double streamRate_;
  uint8_t out_[1024];
  uint32_t fill_ = 0;
  int state_ = kSnapIdle;
  int64_t remaining_ = 0;
  int64_t idleCountdown_ = 0;
  const RecordingKind* kind_ = &RecordingKinds()[0];  // of the file in progress
  RecordingFileSet files_;
  std::string temporary_, final_, lastFinished_;
  NameMemory names_;
  std::string ending_;  // the status line shown once the snapshot has its final name
  bool failureReported_ = false;
  bool lastSwitch_ = false;
  int64_t logClock_ = 0;
  bool counting_ = false;  // the snapshot in progress feeds the call detector
  SnapshotCalls calls_;
  HourlyCallTally hours_;
  StreamTime snapshotStart_;
  std::string snapshotName_;
};

}  // namespace hv
