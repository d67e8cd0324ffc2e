// The playback thread: replays the selected recording into conduit1 in place of
// the receiver, paced so that the live path sees the file as a receiver that
// samples at the file's real rate (slowed by the time base), and keeps the
// replayed stream time that the recorders stamp into what they record.
#include <cmath>
#include <cstring>
#include <string>

#include "core/file_ops.h"
#include "core/lifecycle.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/status_print.h"
#include "core/worker_routines.h"
#include "formats/playback_file.h"
#include "formats/playback_file_info.h"
#include "formats/stream_calendar.h"
#include "playback/playback_state.h"
#include "playback/replay_clock.h"
#include "playback/time_base.h"
#include "recording/record_control.h"
#include "recording/recorder_texts.h"
#include "settings/settings.h"

namespace hv {

namespace {

constexpr uint32_t kReadBytes = 1024;
// Every read that has come due goes out in one write of up to this many bytes
// (8 ms of a 4-channel 500 kHz stream is 32000).
constexpr uint32_t kBatchBytes = 32 * kReadBytes;
// Longest pause between passes while nothing is replayed. A Play click, a new
// file or the end of the playback mode (station changes) end it at once; the
// bound only guards against a wake-up that never comes.
constexpr double kIdlePassSeconds = 5.0;
// Pacing step: a replay that is ahead of its clock sleeps this long at a time,
// then hands on every read that has come due meanwhile in one write. The
// stream never runs ahead of the clock; it reaches conduit1 at most this much
// late (as a network receiver's samples do), in one write per step instead of
// one per millisecond (a 500 kHz replay would otherwise wake the playback and
// conditioning threads a thousand times a second).
constexpr double kPaceSeconds = 0.008;

// The state of one replay and the passes of the thread's loop. Runs on the
// playback thread only.
class Replayer {
 public:
  void Pass();
  void Finish() { CloseFile(); }

 private:
  bool IsPlaying() const {
    return IsRunning() && g_playback.command.load(std::memory_order_relaxed) == kPlaybackPlay;
  }
  void OpenFile(const std::string& path);
  void Refuse(const std::string& path, const std::string& why);
  void CountFailure();
  void CloseFile();
  void PlayStep();
  bool WritePending();
  void UpdateStreamTimeAndPosition(double t);
  void StartRecordingBeforeFirstSample();

  PlaybackFile file_;
  std::string path_;
  ReplayClock clock_;
  uint8_t buffer_[kReadBytes + 8] = {};
  uint32_t carried_ = 0;       // bytes of an incomplete frame kept for the next read
  uint32_t pendingAt_ = 0;     // bytes of the last read still to be written
  uint32_t pendingEnd_ = 0;
  uint8_t pending_[kBatchBytes] = {};
  uint64_t bytesReplayed_ = 0;
  uint32_t block_ = 2;
  uint32_t rate_ = 0;
  double scale_ = 1.0;
  StreamTime start_;
  int64_t lastMs_ = -1;
  std::string shownPosition_;
};

void Replayer::Pass() {
  // Read before the state is looked at: a change made meanwhile ends the idle wait.
  const uint64_t seen = StationChangeCount();
  // Not writing here: a pending request to leave the playback mode completes.
  if (!PlaybackThreadIdlePoint()) {
    CloseFile();
    WaitForStationChange(seen, kIdlePassSeconds);
    return;
  }
  switch (g_playback.command.load(std::memory_order_relaxed)) {
    case kPlaybackStop:
      CloseFile();
      WaitForStationChange(seen, kIdlePassSeconds);
      return;
    case kPlaybackPause:
      WaitForStationChange(seen, kIdlePassSeconds);
      // Hold the clock at the replayed time so that the replay resumes where it stopped.
      if (file_.IsOpen()) clock_.HoldAt(static_cast<double>(bytesReplayed_ / block_) / rate_);
      return;
    default:
      break;
  }
  std::string path = g_playback.filePath.Get();
  if (path.empty()) {
    WaitForStationChange(seen, kIdlePassSeconds);
    return;
  }
  if (!file_.IsOpen() || path != path_) {
    // The acquisition thread gives up its turn on conduit1 within one block
    // once the playback mode is on; until then this thread neither announces
    // nor writes there.
    if (!conduit1.TakeWriterTurn()) {
      SleepSeconds(0.001);
      return;
    }
    OpenFile(path);
    return;
  }
  PlayStep();
}

void Replayer::Refuse(const std::string& path, const std::string& why) {
  DiagPrint("Failed opening playback file %s: %s\n", Escaped(path).c_str(), why.c_str());
  StatusPrint("Playback of %s failed: %s", FileNamePart(path).c_str(), why.c_str());
  g_playback.recordFromStart.store(false, std::memory_order_relaxed);  // nothing of it to record
  CloseFile();
  PerformPlaybackStop();
  CountFailure();
}

void Replayer::CountFailure() {
  g_playback.failures.fetch_add(1, std::memory_order_relaxed);
  if (g_playback.endRunOnFailure.load(std::memory_order_relaxed)) RequestQuit();
}

void Replayer::OpenFile(const std::string& path) {
  CloseFile();
  if (!file_.Open(path)) {
    Refuse(path, file_.Error());
    return;
  }
  PlaybackFileInfo info;
  ReadPlaybackFileInfo(file_, path, &info);
  // Refuse what the live chain cannot carry: a replay rate of 0 would never
  // advance the pacing, a huge one stalls the tuning path, and other sample
  // sizes would misalign the 16-bit stream.
  double scale = 1.0;
  uint32_t rate = ReplayRate(info.realRate, g_playback.timeBase.load(std::memory_order_relaxed),
                             g_playback.ratio.load(std::memory_order_relaxed), &scale);
  if (!IsPlayableFormat(info.format)) {
    Refuse(path, "its sample format cannot be replayed (16-bit PCM, 1 to 4 channels)");
    return;
  }
  if (rate == 0) {
    Refuse(path, "its replay rate is outside " + std::to_string(kMinReplayRate) + " to " +
                     std::to_string(kMaxReplayRate) + " samples/s");
    return;
  }
  path_ = path;
  rate_ = rate;
  scale_ = scale;
  block_ = info.format.blockAlign;
  start_ = info.startTime;
  bytesReplayed_ = 0;
  carried_ = pendingAt_ = pendingEnd_ = 0;
  lastMs_ = -1;
  shownPosition_.clear();
  g_playbackStreamRate.store(static_cast<float>(rate), std::memory_order_relaxed);
  g_playbackStreamChannels.store(info.format.channels, std::memory_order_relaxed);
  g_playbackDeviceText.Set(info.deviceName);
  g_fileCompensated.store(info.compensated, std::memory_order_relaxed);
  SetReplayedStreamTime(start_);
  WaveFormat announced = info.format;
  announced.sampleRate = rate;
  announced.avgBytesPerSec = rate * block_;
  announced.extraSize = 0;
  conduit1.AnnounceFormat(announced);
  StatusPrint("Playback %s at %u samples/s", FileNamePart(path).c_str(), rate);
  if (g_playback.recordFromStart.exchange(false, std::memory_order_relaxed)) StartRecordingBeforeFirstSample();
  clock_.Start();
}

// Turns Record on with the replay's stream time already set, and gives the
// stream recorder up to 2 s to place its start mark and reach it, so that the
// recording starts at the file's first sample, in its format and with its
// time. Record goes on only once the conditioning thread has taken the
// replay's format (what the live stream left in conduit1 is through), so the
// mark lies behind the change and the live stream's tail is not recorded.
// Auto Snap needs no mark: its recorder sees the samples as they come.
void Replayer::StartRecordingBeforeFirstSample() {
  for (int waited = 0; waited < 2000 && IsRunning() && conduit1.FormatPending(); ++waited) SleepSeconds(0.001);
  g_recordOn.store(true, std::memory_order_relaxed);
  if (g_settings.MenuRecordMode.load(std::memory_order_relaxed) == kModeAutoSnap) return;
  for (int waited = 0; waited < 2000 && IsRunning(); ++waited) {
    const int state = g_streamRecorderState.load(std::memory_order_relaxed);
    if (state == kStreamOpening || state == kStreamRecording || state == kStreamFailed) return;
    SleepSeconds(0.001);
  }
  DiagPrint("The recording did not start before the replay\n");
}

void Replayer::CloseFile() {
  carried_ = pendingAt_ = pendingEnd_ = 0;
  path_.clear();
  if (!file_.IsOpen()) return;
  if (file_.Close() != 0) DiagPrint("Failed closing playback file %s\n", g_playback.filePath.Get().c_str());
}

void Replayer::UpdateStreamTimeAndPosition(double t) {
  // The stream time follows the recording's own clock: replay seconds times the
  // time-base scale, added with real calendar arithmetic.
  double recordingSeconds = t * scale_;
  int64_t ms = static_cast<int64_t>(std::floor(recordingSeconds * 1000.0));
  if (ms != lastMs_) {
    SetReplayedStreamTime(AdvanceStreamTime(start_, ms));
    lastMs_ = ms;
  }
  g_playback.position.store(recordingSeconds, std::memory_order_relaxed);
  std::string text = PositionText(recordingSeconds);
  if (text != shownPosition_) {
    shownPosition_ = text;
    ShowPlaybackPosition(text.c_str());
  }
}

// Writes what is left of the last read into conduit1, waiting for the reader
// in 1 ms steps. True when all of it went; false when the replay left play or
// the run flag fell first (a pause keeps the rest for the resume).
bool Replayer::WritePending() {
  while (pendingAt_ < pendingEnd_) {
    uint32_t accepted = 0;
    if (conduit1.Write(pendingEnd_ - pendingAt_, pending_ + pendingAt_, &accepted) != 0) {
      pendingAt_ = pendingEnd_;  // no conduit: nothing can take these bytes
      return true;
    }
    pendingAt_ += accepted;
    if (pendingAt_ == pendingEnd_) break;
    if (!IsPlaying()) return false;
    SleepSeconds(0.001);
  }
  return true;
}

void Replayer::PlayStep() {
  if (!WritePending()) return;
  double t = static_cast<double>(bytesReplayed_ / block_) / rate_;
  UpdateStreamTimeAndPosition(t);
  // Pace against the monotonic clock; never run ahead of it.
  while (t > clock_.Elapsed()) {
    if (!IsPlaying()) return;
    SleepSeconds(kPaceSeconds);
  }
  // Every read whose first sample has come due, while the batch has room.
  pendingAt_ = pendingEnd_ = 0;
  do {
    uint32_t bytes = 0;
    if (file_.Read(buffer_ + carried_, &bytes) != 0) {
      WritePending();  // what was read before the failure still goes out
      DiagPrint("Failed reading wave file\n");
      StatusPrint("Playback of %s failed: the file could not be read on", FileNamePart(path_).c_str());
      // A file that cannot be read on stays stopped instead of failing every pass.
      PerformPlaybackStop();
      CountFailure();
      return;
    }
    if (bytes == 0) {
      if (pendingEnd_ > 0) break;  // the batch goes out first; the next step meets the end
      bool replayedSome = bytesReplayed_ >= block_;
      if (g_playback.loop.load(std::memory_order_relaxed) && replayedSome) {
        CloseFile();  // the next pass reopens it with a fresh clock and format
      } else {
        StatusPrint("Playback of %s ended", FileNamePart(path_).c_str());
        PerformPlaybackStop();
      }
      return;
    }
    // Whole frames only go out; the bytes of a frame split by the read wait for the next one.
    uint32_t total = carried_ + bytes;
    uint32_t whole = total - total % block_;
    std::memcpy(pending_ + pendingEnd_, buffer_, whole);
    pendingEnd_ += whole;
    carried_ = total - whole;
    std::memmove(buffer_, buffer_ + whole, carried_);
    bytesReplayed_ += whole;
    t = static_cast<double>(bytesReplayed_ / block_) / rate_;
  } while (pendingEnd_ + kReadBytes + 8 <= kBatchBytes && t <= clock_.Elapsed());
  WritePending();
}

}  // namespace

// Runs on the playback worker thread until the run flag falls.
int PlaybackThread(void*) {
  PlaybackThreadStarted();
  {
    Replayer replayer;
    while (IsRunning()) replayer.Pass();
    replayer.Finish();
  }
  PlaybackThreadEnded();
  return 0;
}

}  // namespace hv
